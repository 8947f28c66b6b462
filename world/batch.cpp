// The cube world drawn in a few calls: the pieces of every cube merged into large mesh buffers, one set per
// piece mesh and material, which follow the per-cell nodes wherever the quake or the moving cube takes them.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/util.h"
#include "level/level.h"
#include "world/tableworld.h"

using namespace irr;

namespace {

// Where one node's copy stands in its group: the buffer, its first vertex there, and the position it was made at.
struct BatchPiece {
    scene::ISceneNode* node;
    u32 buffer;
    u32 first_vertex;
    core::vector3df position;
    u32 inner;   // one bit per triangle (the first 32) that lies against a neighbouring cube
    u32 hidden;  // of those, the ones left out: inside the neighbour, or cut down to strips
};

// A square face of the piece that the quake may cut down to strips: its corners (a shape vertex at each; corner
// k lies at the high end of the face's first axis when k & 1, of its second when k & 2) and its triangles as
// corner numbers, three a triangle, in drawing order.
struct BatchFace {
    bool cuttable = false;
    u16 corners[4] = {0, 0, 0, 0};
    std::vector<u8> triangles;
    u32 triangle_bits = 0;  // the piece's triangles on this face, one bit each (among the first 32)
};

// Vertices drawn in one call: at most BATCH_MAX_VERTICES.
struct StripSet {
    core::array<video::S3DVertex> vertices;
    core::array<u16> indices;
};

// All the pieces drawn with one mesh buffer of one piece mesh and one material.
struct BatchGroup {
    const scene::IMeshBuffer* source;
    video::SMaterial material;
    bool transparent;
    core::array<video::S3DVertex> shape;  // the piece's vertices as its node scales and turns them, around 0
    core::array<u16> shape_indices;
    std::vector<s8> triangle_faces;       // per triangle: the cube face it lies on (0 -x, 1 +x, 2 -y, 3 +y,
                                          // 4 -z, 5 +z), or -1
    std::vector<core::plane3df> triangle_planes;  // per triangle: its plane around the node, its normal toward
                                                  // the side the triangle shows its front to
    bool culls_back = false;              // the material leaves out the triangles seen from behind
    f32 half_size;                        // how far the piece reaches from its node on any axis
    BatchFace faces[6];                   // by cube face, as triangle_faces numbers them
    u32 pieces_per_buffer;
    std::vector<scene::SMeshBuffer*> buffers;
    std::vector<core::array<u16>> late;   // per buffer, opaque only: the inner faces drawn whole
    std::vector<StripSet> strips;         // opaque only: what shaken cubes show of the inner faces cut down
    size_t strips_in_use = 0;             // the sets filled this frame
    std::vector<BatchPiece> pieces;
    std::vector<u32> order;               // the pieces, nearest to the camera first
    std::vector<f32> distances;           // of each piece to the camera, squared
    std::vector<core::array<u16>> nearer, farther;  // per buffer, glass only: the pieces in front of the objective
                                                    // and the ones behind it
};

class TableworldBatch;

// Glass blends by adding light, in any order alike, but the objective blends over what is behind it: the glass
// in front of the objective must come after it, the glass behind it before. Two stand-ins, placed just in front
// of the objective and just behind it, take the two parts of the glass into the engine's far-to-near order.
class GlassPart : public scene::ISceneNode {
public:
    GlassPart(scene::ISceneManager* manager, TableworldBatch* batch, bool nearer)
        : scene::ISceneNode(nullptr, manager, -1), batch_(batch), nearer_(nearer) {
        setAutomaticCulling(scene::EAC_OFF);
    }
    void render() override;
    const core::aabbox3d<f32>& getBoundingBox() const override { return box_; }

private:
    TableworldBatch* batch_;
    bool nearer_;
    core::aabbox3df box_{0, 0, 0, 0, 0, 0};
};

// Index buffers are 16 bits wide: a buffer holds at most 65536 vertices.
const u32 BATCH_MAX_VERTICES = 65536;

// How far the camera goes before the pieces are put in order again: the order only spares the renderer the
// pixels hidden behind nearer cubes, and a rough one does that as well.
const f32 BATCH_SORT_STEP = 5.0f;

class TableworldBatch : public scene::ISceneNode {
public:
    TableworldBatch(scene::ISceneNode* parent, scene::ISceneManager* manager, bool draw_nodes)
        : scene::ISceneNode(parent, manager, -1), draw_nodes_(draw_nodes),
          nearer_glass_(new GlassPart(manager, this, true)), farther_glass_(new GlassPart(manager, this, false)) {
        // The batch spans the whole world: the frustum test would keep it anyway.
        setAutomaticCulling(scene::EAC_OFF);
        box_.reset(0, 0, 0);
    }

    ~TableworldBatch() override {
        for (BatchGroup& group : groups_)
            for (scene::SMeshBuffer* buffer : group.buffers) buffer->drop();
        nearer_glass_->drop();
        farther_glass_->drop();
    }

    void OnRegisterSceneNode() override {
        if (!IsVisible) return;
        Finish();
        // Drawn node by node, the cube nodes and the sky register themselves as they would without the batch.
        if (draw_nodes_) {
            ISceneNode::OnRegisterSceneNode();
            return;
        }
        PlaceSky();
        FindInnerFaces();
        scene::ICameraSceneNode* camera = SceneManager->getActiveCamera();
        if (camera) {
            SortForCamera(camera->getAbsolutePosition());
            ListOpaqueTriangles(camera);
        }
        bool solid = sky_after_cubes_, transparent = false;
        for (const BatchGroup& group : groups_) (group.transparent ? transparent : solid) = true;
        if (solid) SceneManager->registerNodeForRendering(this, scene::ESNRP_SOLID);
        if (transparent) RegisterGlass();
    }

    // The engine would work out every cube node's absolute transformation anew each frame. Only the quake and
    // the moving cube move them: a merged node standing as it stood at its last update keeps the one it has.
    void OnAnimate(u32 time) override {
        if (!IsVisible) return;
        // An animator may remove itself as it runs: step past it first.
        for (scene::ISceneNodeAnimatorList::Iterator it = Animators.begin(); it != Animators.end();)
            (*it++)->animateNode(this, time);
        const core::matrix4 before = AbsoluteTransformation;
        updateAbsolutePosition();
        if (!(AbsoluteTransformation == before))
            for (Adopted& adopted : adopted_) adopted.current = false;
        // The merged nodes come in the order they were adopted; any other child (the sky) goes as usual.
        size_t next = 0;
        for (scene::ISceneNode* child : Children) {
            if (next == adopted_.size() || adopted_[next].node != child) {
                child->OnAnimate(time);
                continue;
            }
            Adopted& adopted = adopted_[next++];
            if (adopted.current && adopted.position == child->getPosition() &&
                adopted.rotation == child->getRotation() && adopted.scale == child->getScale() &&
                child->getAnimators().empty() && child->getChildren().empty())
                continue;
            child->OnAnimate(time);
            // A hidden node is left as it was: it is brought up to date once it shows again.
            adopted = {child, child->getPosition(), child->getRotation(), child->getScale(), child->isVisible()};
        }
    }

    void render() override {
        video::IVideoDriver* video = SceneManager->getVideoDriver();
        if (!video) return;
        video->setTransform(video::ETS_WORLD, AbsoluteTransformation);
        for (const BatchGroup& group : groups_) {
            if (group.transparent) continue;
            video->setMaterial(group.material);
            for (scene::SMeshBuffer* buffer : group.buffers) video->drawMeshBuffer(buffer);
        }
        // The inner faces come last, when the faces in front of them have filled the depth buffer: the depth
        // test then throws most of their pixels away before they are textured.
        for (const BatchGroup& group : groups_) {
            bool any = group.strips_in_use > 0;
            for (const core::array<u16>& indices : group.late) any = any || !indices.empty();
            if (group.transparent || !any) continue;
            video->setMaterial(group.material);
            for (size_t i = 0; i < group.buffers.size(); i++)
                if (!group.late[i].empty()) DrawIndices(video, group.buffers[i]->Vertices, group.late[i]);
            for (size_t i = 0; i < group.strips_in_use; i++)
                DrawIndices(video, group.strips[i].vertices, group.strips[i].indices);
        }
        if (sky_after_cubes_) sky_->render();
    }

    void RenderGlass(bool nearer) {
        video::IVideoDriver* video = SceneManager->getVideoDriver();
        if (!video) return;
        video->setTransform(video::ETS_WORLD, AbsoluteTransformation);
        for (const BatchGroup& group : groups_) {
            if (!group.transparent) continue;
            video->setMaterial(group.material);
            for (size_t i = 0; i < group.buffers.size(); i++) {
                const core::array<u16>& indices = nearer ? group.nearer[i] : group.farther[i];
                if (!indices.empty()) DrawIndices(video, group.buffers[i]->Vertices, indices);
            }
        }
    }

    const core::aabbox3d<f32>& getBoundingBox() const override { return box_; }

    // The node's copy in the group of its mesh buffer and material; false when the node can't be batched.
    bool AddNode(scene::ISceneNode* node) {
        if (!node || node->getType() != scene::ESNT_MESH) return false;
        scene::IMesh* mesh = static_cast<scene::IMeshSceneNode*>(node)->getMesh();
        if (!mesh || mesh->getMeshBufferCount() != node->getMaterialCount()) return false;
        for (u32 i = 0; i < mesh->getMeshBufferCount(); i++) {
            const scene::IMeshBuffer* source = mesh->getMeshBuffer(i);
            if (!source || source->getVertexType() != video::EVT_STANDARD ||
                source->getIndexType() != video::EIT_16BIT || source->getVertexCount() == 0 ||
                source->getVertexCount() > BATCH_MAX_VERTICES)
                return false;
        }
        for (u32 i = 0; i < mesh->getMeshBufferCount(); i++) AddPiece(FindGroup(node, i), node);
        adopted_.push_back({node, node->getPosition(), node->getRotation(), node->getScale(), false});
        finished_ = false;
        return true;
    }

    // Once every piece is in: the boxes (the node's own is the world as built; it is never culled), and room
    // for a whole buffer in either part of the glass, so that splitting it never allocates.
    void Finish() {
        if (finished_) return;
        finished_ = true;
        box_.reset(0, 0, 0);
        bool first = true;
        for (BatchGroup& group : groups_)
            for (size_t i = 0; i < group.buffers.size(); i++) {
                scene::SMeshBuffer* buffer = group.buffers[i];
                if (group.transparent) {
                    group.nearer[i].reallocate(buffer->Indices.size());
                    group.farther[i].reallocate(buffer->Indices.size());
                } else {
                    group.late[i].reallocate(buffer->Indices.size());
                }
                buffer->recalculateBoundingBox();
                if (first) box_ = buffer->BoundingBox;
                else box_.addInternalBox(buffer->BoundingBox);
                first = false;
            }
    }

    // The sky is drawn after the opaque cubes with its depth test on, so that the pixels the cubes cover are
    // skipped; it writes no depth, so nothing drawn after it is hidden by it.
    void AdoptSky(scene::ISceneNode* sky) {
        if (draw_nodes_ || !sky || sky->getType() != scene::ESNT_SKY_BOX) return;
        addChild(sky);
        sky_ = sky;
        sky_depth_test_ = sky->getMaterialCount() ? sky->getMaterial(0).ZBuffer : (u8)video::ECFN_NEVER;
    }

    // Rewrites the vertices of every piece whose node has moved since; returns how many moved.
    int Follow() {
        int moved = 0;
        for (BatchGroup& group : groups_)
            for (BatchPiece& piece : group.pieces) {
                const core::vector3df& position = piece.node->getPosition();
                if (position == piece.position) continue;
                piece.position = position;
                WritePiece(group, piece);
                moved++;
            }
        return moved;
    }

    int CountPieces() const {
        int count = 0;
        for (const BatchGroup& group : groups_) count += (int)group.pieces.size();
        return count;
    }

    int CountBuffers() const {
        int count = 0;
        for (const BatchGroup& group : groups_) count += (int)group.buffers.size();
        return count;
    }

    // The box around the vertices held for the node, read back from the buffers; empty when none are held.
    core::aabbox3df GetPieceBox(scene::ISceneNode* node, int* count) const {
        core::aabbox3df box(0, 0, 0, -1, -1, -1);
        *count = 0;
        for (const BatchGroup& group : groups_)
            for (const BatchPiece& piece : group.pieces) {
                if (piece.node != node) continue;
                const video::S3DVertex* vertices =
                    static_cast<const video::S3DVertex*>(group.buffers[piece.buffer]->getVertices());
                for (u32 i = 0; i < group.shape.size(); i++) {
                    if (*count == 0) box.reset(vertices[piece.first_vertex + i].Pos);
                    else box.addInternalPoint(vertices[piece.first_vertex + i].Pos);
                    (*count)++;
                }
            }
        return box;
    }

    bool IsDrawingNodes() const { return draw_nodes_; }

    // Glass tops and bottoms show what lies inside a cube: then no face can be left out.
    void AllowHidingIfOpaque() {
        hiding_allowed_ = true;
        for (const BatchGroup& group : groups_) hiding_allowed_ = hiding_allowed_ && !group.transparent;
    }

    // Triangles drawn at the last frame, for the tests.
    int CountDrawnTriangles() const {
        int count = 0;
        for (const BatchGroup& group : groups_) {
            if (group.transparent) continue;
            for (size_t i = 0; i < group.buffers.size(); i++)
                count += (int)(group.buffers[i]->Indices.size() + group.late[i].size()) / 3;
            for (size_t i = 0; i < group.strips_in_use; i++) count += (int)group.strips[i].indices.size() / 3;
        }
        return count;
    }

private:
    static void DrawIndices(video::IVideoDriver* video, const core::array<video::S3DVertex>& vertices,
                            const core::array<u16>& indices) {
        video->drawVertexPrimitiveList(vertices.const_pointer(), vertices.size(), indices.const_pointer(),
                                       indices.size() / 3, video::EVT_STANDARD, scene::EPT_TRIANGLES,
                                       video::EIT_16BIT);
    }

    BatchGroup& FindGroup(scene::ISceneNode* node, u32 index) {
        const scene::IMeshBuffer* source = static_cast<scene::IMeshSceneNode*>(node)->getMesh()->getMeshBuffer(index);
        const video::SMaterial& material = node->getMaterial(index);
        for (BatchGroup& group : groups_)
            if (group.source == source && group.material == material && SameShape(group, node)) return group;
        groups_.push_back(BatchGroup());
        BatchGroup& group = groups_.back();
        group.source = source;
        group.material = material;
        video::IMaterialRenderer* renderer =
            SceneManager->getVideoDriver()->getMaterialRenderer(material.MaterialType);
        group.transparent = renderer && renderer->isTransparent();
        group.culls_back = material.BackfaceCulling && !material.FrontfaceCulling;
        MakeShape(group, node);
        group.pieces_per_buffer = BATCH_MAX_VERTICES / group.shape.size();
        return group;
    }

    static bool SameShape(const BatchGroup& group, scene::ISceneNode* node) {
        return group.pieces.empty() || (group.pieces[0].node->getScale() == node->getScale() &&
                                        group.pieces[0].node->getRotation() == node->getRotation());
    }

    // The node's scale and rotation without its position: the part of its transformation that stays put.
    static void MakeShape(BatchGroup& group, scene::ISceneNode* node) {
        core::matrix4 transformation = node->getRelativeTransformation();
        transformation.setTranslation(core::vector3df(0, 0, 0));
        const video::S3DVertex* vertices = static_cast<const video::S3DVertex*>(group.source->getVertices());
        group.shape.reallocate(group.source->getVertexCount());
        for (u32 i = 0; i < group.source->getVertexCount(); i++) {
            video::S3DVertex vertex = vertices[i];
            transformation.transformVect(vertex.Pos);
            transformation.rotateVect(vertex.Normal);
            // The material normalises normals, so the scale left in them does not darken the light.
            vertex.Normal.normalize();
            group.shape.push_back(vertex);
        }
        const u16* indices = group.source->getIndices();
        for (u32 i = 0; i < group.source->getIndexCount(); i++) group.shape_indices.push_back(indices[i]);
        core::aabbox3df box(group.shape[0].Pos);
        for (u32 i = 1; i < group.shape.size(); i++) box.addInternalPoint(group.shape[i].Pos);
        group.half_size = core::max_(core::max_(box.MaxEdge.X, box.MaxEdge.Y, box.MaxEdge.Z),
                                     -core::min_(box.MinEdge.X, box.MinEdge.Y, box.MinEdge.Z));
        for (u32 i = 0; i + 2 < group.shape_indices.size(); i += 3) {
            group.triangle_faces.push_back(FindFace(group, i));
            const core::vector3df& a = group.shape[group.shape_indices[i]].Pos;
            group.triangle_planes.push_back(core::plane3df(a, group.shape[group.shape_indices[i + 1]].Pos,
                                                           group.shape[group.shape_indices[i + 2]].Pos));
        }
        for (int face = 0; face < 6; face++) FindCorners(group, face);
    }

    // A face can be cut when it is one rectangle of triangles, all among the first 32, spanning the piece
    // across its two other axes, with vertices only at its corners.
    static void FindCorners(BatchGroup& group, int face) {
        BatchFace& result = group.faces[face];
        const int u = (face / 2 + 1) % 3, v = (face / 2 + 2) % 3;
        const f32 tolerance = 0.001f * group.half_size;
        bool cuttable = true;
        bool found[4] = {false, false, false, false};
        for (size_t t = 0; t < group.triangle_faces.size(); t++) {
            if (group.triangle_faces[t] != face) continue;
            if (t < 32) result.triangle_bits |= 1u << t;
            cuttable = cuttable && t < 32;
            for (u32 k = 0; k < 3; k++) {
                u16 vertex = group.shape_indices[3 * t + k];
                const core::vector3df& p = group.shape[vertex].Pos;
                bool u_high = core::equals(Along(p, u), group.half_size, tolerance);
                bool v_high = core::equals(Along(p, v), group.half_size, tolerance);
                bool u_low = core::equals(Along(p, u), -group.half_size, tolerance);
                bool v_low = core::equals(Along(p, v), -group.half_size, tolerance);
                int corner = u_high + 2 * v_high;
                if (!found[corner]) result.corners[corner] = vertex;
                found[corner] = true;
                // The engine's loader gives every triangle vertices of its own: the ones at a corner must agree.
                const video::S3DVertex& first = group.shape[result.corners[corner]];
                cuttable = cuttable && (u_high || u_low) && (v_high || v_low) && first.Pos.equals(p, tolerance) &&
                           first.TCoords.equals(group.shape[vertex].TCoords);
                result.triangles.push_back((u8)corner);
            }
        }
        result.cuttable = cuttable && found[0] && found[1] && found[2] && found[3];
    }

    static f32 Along(const core::vector3df& v, int axis) { return axis == 0 ? v.X : axis == 1 ? v.Y : v.Z; }

    // The cube face a triangle lies on: all three corners on one side of the piece's box.
    static s8 FindFace(const BatchGroup& group, u32 first) {
        const core::vector3df& a = group.shape[group.shape_indices[first]].Pos;
        const core::vector3df& b = group.shape[group.shape_indices[first + 1]].Pos;
        const core::vector3df& c = group.shape[group.shape_indices[first + 2]].Pos;
        const f32 tolerance = 0.001f * group.half_size;
        for (int axis = 0; axis < 3; axis++)
            for (int sign = -1; sign <= 1; sign += 2) {
                f32 side = sign * group.half_size;
                if (core::equals(Along(a, axis), side, tolerance) && core::equals(Along(b, axis), side, tolerance) &&
                    core::equals(Along(c, axis), side, tolerance))
                    return (s8)(2 * axis + (sign > 0));
            }
        return -1;
    }

    void AddPiece(BatchGroup& group, scene::ISceneNode* node) {
        u32 buffer_index = (u32)(group.pieces.size() / group.pieces_per_buffer);
        // Vertices and indices are handed to the driver with every draw: the quake and the moving cube rewrite
        // the one and the camera reorders the other, which a buffer kept in the driver would wait for.
        if (buffer_index == group.buffers.size()) {
            group.buffers.push_back(new scene::SMeshBuffer());
            group.nearer.emplace_back();
            group.farther.emplace_back();
            group.late.emplace_back();
        }
        scene::SMeshBuffer* buffer = group.buffers[buffer_index];
        BatchPiece piece = {node, buffer_index, buffer->Vertices.size(), node->getPosition(), 0, 0};
        // The engine's array grows to the exact size asked: doubled here, the build stays linear.
        u32 needed = piece.first_vertex + group.shape.size();
        if (buffer->Vertices.allocated_size() < needed)
            buffer->Vertices.reallocate(core::max_(needed, 2 * buffer->Vertices.allocated_size()));
        buffer->Vertices.set_used(needed);
        WritePiece(group, piece);
        for (u32 i = 0; i < group.shape_indices.size(); i++)
            buffer->Indices.push_back((u16)(group.shape_indices[i] + piece.first_vertex));
        group.order.push_back((u32)group.pieces.size());
        group.distances.push_back(0);
        group.pieces.push_back(piece);
    }

    static void WritePiece(BatchGroup& group, const BatchPiece& piece) {
        video::S3DVertex* vertices = group.buffers[piece.buffer]->Vertices.pointer() + piece.first_vertex;
        for (u32 i = 0; i < group.shape.size(); i++) {
            vertices[i] = group.shape[i];
            vertices[i].Pos += piece.position;
        }
    }

    // The glass split by the objective's distance from the camera, each part registered at a point just
    // behind or just in front of it (of both objective cubes, should they ever stand apart). Without an objective
    // all of it goes behind the batch's own place.
    void RegisterGlass() {
        scene::ICameraSceneNode* camera = SceneManager->getActiveCamera();
        if (!camera) return;
        core::vector3df eye = camera->getAbsolutePosition();
        scene::ISceneNode* objectives[2] = {objective_node, objective2_node};
        core::vector3df nearest = getAbsolutePosition(), farthest = nearest;
        f32 limit = -1.0f;
        for (scene::ISceneNode* objective : objectives) {
            if (!objective) continue;
            core::vector3df position = objective->getAbsolutePosition();
            f32 distance = position.getDistanceFromSQ(eye);
            if (limit < 0 || distance < limit) nearest = position, limit = distance;
            if (distance >= farthest.getDistanceFromSQ(eye)) farthest = position;
        }
        for (BatchGroup& group : groups_) {
            if (!group.transparent) continue;
            for (size_t i = 0; i < group.buffers.size(); i++) {
                group.nearer[i].set_used(0);
                group.farther[i].set_used(0);
            }
            for (const BatchPiece& piece : group.pieces) {
                bool nearer = piece.position.getDistanceFromSQ(eye) < limit;
                core::array<u16>& indices = nearer ? group.nearer[piece.buffer] : group.farther[piece.buffer];
                u32 away = FindTurnedAway(group, piece, camera);
                for (u32 i = 0; i < group.shape_indices.size(); i++)
                    if (!(away & TriangleBit(i)))
                        indices.push_back((u16)(group.shape_indices[i] + piece.first_vertex));
            }
        }
        PlaceGlassPart(farther_glass_, farthest + (farthest - eye).normalize() * 0.001f);
        PlaceGlassPart(nearer_glass_, nearest - (nearest - eye).normalize() * 0.001f);
    }

    void PlaceGlassPart(GlassPart* part, const core::vector3df& position) {
        part->setPosition(position);
        part->updateAbsolutePosition();
        SceneManager->registerNodeForRendering(part, scene::ESNRP_TRANSPARENT);
    }

    // A face that lies against a neighbouring cube lies inside it: nothing outside the two cubes can see it, and
    // it is left out. A cube that the quake shakes off its cell's centre shows thin strips of it beyond the
    // neighbour's sides: the face is cut down to those. The moving cube, a quake that opens a gap between the
    // two, and a camera inside the neighbour or close enough for its near plane to cut into it bring the whole
    // face back. What comes back is drawn after the other faces.
    void FindInnerFaces() {
        for (BatchGroup& group : groups_) {
            for (size_t i = 0; i < group.strips_in_use; i++) {
                group.strips[i].vertices.set_used(0);
                group.strips[i].indices.set_used(0);
            }
            group.strips_in_use = 0;
        }
        // Glass tops and bottoms show what lies inside a cube: every face is drawn, nearest first.
        if (!hiding_allowed_ || !tableworld_cells) return;
        scene::ICameraSceneNode* camera = SceneManager->getActiveCamera();
        if (!camera) return;
        core::vector3df eye = camera->getAbsolutePosition();
        f32 reach = tableworld_GetNearReach(camera);
        // The camera's own view is brought up to date only when it is drawn, after this.
        core::matrix4 view;
        view.buildCameraLookAtMatrixLH(eye, camera->getTarget(), camera->getUpVector());
        const scene::SViewFrustum seen(camera->getProjectionMatrix() * view);
        for (BatchGroup& group : groups_) {
            if (group.transparent) continue;
            for (BatchPiece& piece : group.pieces) {
                piece.inner = piece.hidden = 0;
                FindInner(group, piece, eye, seen, group.half_size + reach + 0.5f, &piece.inner, &piece.hidden);
            }
        }
    }

    // The cell of the cube the piece belongs to, however the quake shakes it; false for the cube on its way,
    // which belongs to no cell until it arrives.
    static bool FindHomeCell(const BatchPiece& piece, int* x, int* y, int* z) {
        *x = tableworld_ToCell(piece.position.X);
        *y = tableworld_ToCell(piece.position.Y);
        *z = tableworld_ToCell(piece.position.Z);
        if (!tableworld_IsInside(*x, *y, *z)) return false;
        int index = tableworld_GetIndex(*x, *y, *z);
        return tableworld_cells[index] && (tableworld_side_nodes[index] == piece.node ||
                                           tableworld_top_nodes[index] == piece.node ||
                                           tableworld_bottom_nodes[index] == piece.node);
    }

    void FindInner(BatchGroup& group, const BatchPiece& piece, const core::vector3df& eye,
                   const scene::SViewFrustum& seen, f32 near, u32* inner, u32* hidden) {
        int cell[3];
        if (!FindHomeCell(piece, &cell[0], &cell[1], &cell[2])) return;
        for (int face = 0; face < 6; face++) {
            if (!group.faces[face].triangle_bits) continue;
            int next[3] = {cell[0], cell[1], cell[2]};
            next[face / 2] += face % 2 ? 1 : -1;
            if (!tableworld_IsInside(next[0], next[1], next[2])) continue;
            int index = tableworld_GetIndex(next[0], next[1], next[2]);
            scene::ISceneNode* neighbour = tableworld_side_nodes[index];
            if (!tableworld_cells[index] || !neighbour) continue;
            *inner |= group.faces[face].triangle_bits;
            if (!group.faces[face].cuttable) continue;
            const core::vector3df& place = neighbour->getPosition();
            if (fabsf(eye.X - place.X) < near && fabsf(eye.Y - place.Y) < near && fabsf(eye.Z - place.Z) < near)
                continue;
            if (CutFace(group, piece, face, place, eye, seen)) *hidden |= group.faces[face].triangle_bits;
        }
    }

    // The face's rectangle on its plane, and a part of it.
    struct Span {
        f32 u0, u1, v0, v1;
    };

    // Adds the strips of the face that lie beyond the sides of the neighbour standing at the given place: left
    // and right of it they run the face's whole height, above and below it the width between. False, adding
    // nothing, when the face's plane does not pass through the neighbour. A face turned away from the eye, or
    // out of its view, would not be drawn whole: its strips are not even made.
    static bool CutFace(BatchGroup& group, const BatchPiece& piece, int face, const core::vector3df& neighbour,
                        const core::vector3df& eye, const scene::SViewFrustum& seen) {
        const int w = face / 2, u = (w + 1) % 3, v = (w + 2) % 3;
        const BatchFace& cut = group.faces[face];
        const core::vector3df low = group.shape[cut.corners[0]].Pos + piece.position;
        const core::vector3df high = group.shape[cut.corners[3]].Pos + piece.position;
        const f32 half = group.half_size, plane = Along(low, w);
        if (!(Along(neighbour, w) - half < plane && plane < Along(neighbour, w) + half)) return false;
        const f32 in_front = face % 2 ? Along(eye, w) - plane : plane - Along(eye, w);
        if (IsSeenFromBehind(group, in_front, eye.getDistanceFrom(piece.position))) return true;
        if (IsOutOfView(seen, low, high)) return true;
        const Span whole = {Along(low, u), Along(high, u), Along(low, v), Along(high, v)};
        const Span beside = {Along(neighbour, u) - half, Along(neighbour, u) + half, Along(neighbour, v) - half,
                             Along(neighbour, v) + half};
        AddStrip(group, piece, cut, whole, {whole.u0, core::min_(whole.u1, beside.u0), whole.v0, whole.v1});
        AddStrip(group, piece, cut, whole, {core::max_(whole.u0, beside.u1), whole.u1, whole.v0, whole.v1});
        f32 u0 = core::max_(whole.u0, beside.u0), u1 = core::min_(whole.u1, beside.u1);
        AddStrip(group, piece, cut, whole, {u0, u1, whole.v0, core::min_(whole.v1, beside.v0)});
        AddStrip(group, piece, cut, whole, {u0, u1, core::max_(whole.v0, beside.v1), whole.v1});
        return true;
    }

    // True when the box between the two corners lies wholly beyond one side of the view.
    static bool IsOutOfView(const scene::SViewFrustum& seen, const core::vector3df& low, const core::vector3df& high) {
        core::vector3df corners[8];
        core::aabbox3df(low.X, low.Y, low.Z, high.X, high.Y, high.Z).getEdges(corners);
        for (const core::plane3df& side : seen.planes) {
            bool beyond = true;
            for (const core::vector3df& corner : corners)
                beyond = beyond && side.classifyPointRelation(corner) == core::ISREL3D_FRONT;
            if (beyond) return true;
        }
        return false;
    }

    // The part of the face drawn as the face would draw it: its corners' positions and texture coordinates
    // taken across the face in proportion, with the face's normal and colour.
    static void AddStrip(BatchGroup& group, const BatchPiece& piece, const BatchFace& face, const Span& whole,
                         const Span& strip) {
        // Thinner than this the strip covers no pixel's centre from anywhere the camera can be.
        const f32 thinnest = 0.0001f;
        if (!(strip.u1 - strip.u0 > thinnest && strip.v1 - strip.v0 > thinnest)) return;
        StripSet& set = NextStripSet(group);
        const u16 first = (u16)set.vertices.size();
        const f32 width = whole.u1 - whole.u0, height = whole.v1 - whole.v0;
        const f32 across[2] = {(strip.u0 - whole.u0) / width, (strip.u1 - whole.u0) / width};
        const f32 up[2] = {(strip.v0 - whole.v0) / height, (strip.v1 - whole.v0) / height};
        const video::S3DVertex* c[4] = {&group.shape[face.corners[0]], &group.shape[face.corners[1]],
                                        &group.shape[face.corners[2]], &group.shape[face.corners[3]]};
        for (int k = 0; k < 4; k++) {
            const f32 a = across[k & 1], b = up[k >> 1];
            video::S3DVertex vertex = *c[k];
            vertex.Pos = (c[0]->Pos * (1 - a) + c[1]->Pos * a) * (1 - b) + (c[2]->Pos * (1 - a) + c[3]->Pos * a) * b +
                         piece.position;
            vertex.TCoords = (c[0]->TCoords * (1 - a) + c[1]->TCoords * a) * (1 - b) +
                             (c[2]->TCoords * (1 - a) + c[3]->TCoords * a) * b;
            set.vertices.push_back(vertex);
        }
        for (u8 corner : face.triangles) set.indices.push_back((u16)(first + corner));
    }

    // The set this frame's next strip goes in, with room for its four vertices.
    static StripSet& NextStripSet(BatchGroup& group) {
        if (group.strips_in_use == 0 || group.strips[group.strips_in_use - 1].vertices.size() + 4 > BATCH_MAX_VERTICES)
            group.strips_in_use++;
        if (group.strips.size() < group.strips_in_use) group.strips.emplace_back();
        return group.strips[group.strips_in_use - 1];
    }

    // Nearest first: the depth test then throws away most of the hidden pixels before they are textured.
    void SortForCamera(const core::vector3df& eye) {
        if (sorted_ && eye.getDistanceFromSQ(sorted_eye_) < BATCH_SORT_STEP * BATCH_SORT_STEP) return;
        sorted_ = true;
        sorted_eye_ = eye;
        for (BatchGroup& group : groups_) {
            // The glass writes no depth and hides nothing: it is split around the objective instead.
            if (group.transparent) continue;
            for (size_t i = 0; i < group.pieces.size(); i++)
                group.distances[i] = group.pieces[i].position.getDistanceFromSQ(eye);
            const std::vector<f32>& distances = group.distances;
            std::sort(group.order.begin(), group.order.end(),
                      [&distances](u32 a, u32 b) { return distances[a] < distances[b]; });
        }
    }

    // The opaque triangles of this frame in the pieces' order, the faces that come back drawn last. The arrays
    // keep their size, so nothing is allocated.
    void ListOpaqueTriangles(const scene::ICameraSceneNode* camera) {
        for (BatchGroup& group : groups_) {
            if (group.transparent) continue;
            for (size_t i = 0; i < group.buffers.size(); i++) {
                group.buffers[i]->Indices.set_used(0);
                group.late[i].set_used(0);
            }
            for (u32 index : group.order) {
                const BatchPiece& piece = group.pieces[index];
                core::array<u16>& indices = group.buffers[piece.buffer]->Indices;
                core::array<u16>& late = group.late[piece.buffer];
                u32 left_out = piece.hidden | FindTurnedAway(group, piece, camera);
                for (u32 i = 0; i < group.shape_indices.size(); i++) {
                    u32 triangle = TriangleBit(i);
                    if (left_out & triangle) continue;
                    (piece.inner & triangle ? late : indices)
                        .push_back((u16)(group.shape_indices[i] + piece.first_vertex));
                }
            }
        }
    }

    // The bit of the triangle of the given corner (an index into shape_indices), for the first 32 triangles.
    static u32 TriangleBit(u32 corner) {
        return corner / 3 < 32 ? 1u << (corner / 3) : 0;
    }

    // Whether the renderer culls a face of the group whose plane has the eye the given distance in front of it
    // (negative: behind), the eye standing that far from the piece. Only a face clearly seen from behind counts:
    // one seen almost edge on is left to the renderer, which decides it as it always has.
    static bool IsSeenFromBehind(const BatchGroup& group, f32 in_front, f32 eye_distance) {
        return group.culls_back && in_front < -0.001f * (eye_distance + group.half_size);
    }

    // The piece's triangles (among the first 32) that the renderer would cull, seen from behind by a perspective
    // camera.
    static u32 FindTurnedAway(const BatchGroup& group, const BatchPiece& piece, const scene::ICameraSceneNode* camera) {
        if (camera->isOrthogonal()) return 0;
        const core::vector3df relative = camera->getAbsolutePosition() - piece.position;
        u32 away = 0;
        for (size_t t = 0; t < group.triangle_planes.size() && t < 32; t++)
            if (IsSeenFromBehind(group, group.triangle_planes[t].getDistanceTo(relative), relative.getLength()))
                away |= 1u << t;
        return away;
    }

    // Drawn after the cubes only while the whole world stands inside the sky box, which the engine draws halfway
    // between the camera's near and far planes: a cube beyond it would otherwise vanish behind the sky.
    void PlaceSky() {
        sky_after_cubes_ = false;
        if (!sky_) return;
        scene::ICameraSceneNode* camera = SceneManager->getActiveCamera();
        if (camera && !camera->isOrthogonal()) {
            core::aabbox3df world = box_;
            // Room for the quake's shaking.
            world.MinEdge -= core::vector3df(20, 20, 20);
            world.MaxEdge += core::vector3df(20, 20, 20);
            core::vector3df corners[8];
            world.getEdges(corners);
            core::vector3df eye = camera->getAbsolutePosition();
            f32 farthest = 0;
            for (const core::vector3df& corner : corners) farthest = core::max_(farthest, corner.getDistanceFrom(eye));
            sky_after_cubes_ = farthest < (camera->getNearValue() + camera->getFarValue()) * 0.5f;
        }
        for (u32 i = 0; i < sky_->getMaterialCount(); i++)
            sky_->getMaterial(i).ZBuffer = sky_after_cubes_ ? (u8)video::ECFN_LESSEQUAL : sky_depth_test_;
        if (!sky_after_cubes_) sky_->OnRegisterSceneNode();
    }

    // A merged node, adopted as a child right after, and what its last update saw.
    struct Adopted {
        scene::ISceneNode* node;
        core::vector3df position, rotation, scale;
        bool current;  // its absolute transformation was worked out from these
    };

    bool draw_nodes_;
    std::vector<Adopted> adopted_;
    core::aabbox3df box_;
    std::vector<BatchGroup> groups_;
    scene::ISceneNode* sky_ = nullptr;
    u8 sky_depth_test_ = video::ECFN_NEVER;  // the engine's value for no depth test
    bool sky_after_cubes_ = false;
    bool sorted_ = false;
    core::vector3df sorted_eye_;
    bool finished_ = false;
    bool hiding_allowed_ = false;
    GlassPart* nearer_glass_;
    GlassPart* farther_glass_;
};

void GlassPart::render() {
    batch_->RenderGlass(nearer_);
}

TableworldBatch* tableworld_the_batch = nullptr;

}  // namespace

// The near plane's corners lie farthest from the eye: nothing nearer than this is sure to be drawn.
float tableworld_GetNearReach(const scene::ICameraSceneNode* camera) {
    f32 slope = tanf(camera->getFOV() * 0.5f);
    return camera->getNearValue() * sqrtf(1 + slope * slope * (1 + camera->getAspectRatio() * camera->getAspectRatio()));
}

bool tableworld_IsDrawingNodes() {
    const char* value = getenv("KORVANIX_DRAW_NODES");
    return value && strcmp(value, "1") == 0;
}

// The cube nodes move under the batch node, which stands at the origin unturned: where they are drawn does not
// change. They are taken in the order they were made, each from near the front of the root's list.
void tableworld_CreateBatch() {
    tableworld_RemoveBatch();
    if (!smgr) util_CriticalError("tableworld_CreateBatch : no scene manager");
    TableworldBatch* batch = new TableworldBatch(smgr->getRootSceneNode(), smgr, tableworld_IsDrawingNodes());
    tableworld_the_batch = batch;
    scene::ISceneNode** arrays[3] = {tableworld_side_nodes, tableworld_top_nodes, tableworld_bottom_nodes};
    for (int x = 0; x < tableworld_size_x && tableworld_cells; x++)
        for (int y = 0; y < tableworld_size_y; y++)
            for (int z = 0; z < tableworld_size_z; z++) {
                int index = tableworld_GetIndex(x, y, z);
                if (!tableworld_cells[index]) continue;
                for (scene::ISceneNode** nodes : arrays) {
                    scene::ISceneNode* node = nodes[index];
                    // A node that can't be merged stays where it is and draws itself. (The engine's setParent would
                    // look for the node among the batch's children first, for every node: addChild goes straight.)
                    if (node && node->getParent() != batch && batch->AddNode(node)) batch->addChild(node);
                }
            }
    batch->AllowHidingIfOpaque();
    batch->drop();
}

void tableworld_AddToBatch(scene::ISceneNode* node) {
    if (tableworld_the_batch && node && tableworld_the_batch->AddNode(node)) tableworld_the_batch->addChild(node);
}

void tableworld_AdoptSky(scene::ISceneNode* sky) {
    if (tableworld_the_batch) tableworld_the_batch->AdoptSky(sky);
}

void tableworld_UpdateBatch() {
    if (tableworld_the_batch && !tableworld_the_batch->IsDrawingNodes()) tableworld_the_batch->Follow();
}

void tableworld_RemoveBatch() {
    if (tableworld_the_batch) tableworld_the_batch->remove();
    tableworld_the_batch = nullptr;
}

int tableworld_CountBatchPieces() {
    return tableworld_the_batch ? tableworld_the_batch->CountPieces() : 0;
}

int tableworld_CountBatchTriangles() {
    return tableworld_the_batch ? tableworld_the_batch->CountDrawnTriangles() : 0;
}

int tableworld_CountBatchBuffers() {
    return tableworld_the_batch ? tableworld_the_batch->CountBuffers() : 0;
}

core::aabbox3df tableworld_GetBatchPieceBox(scene::ISceneNode* node, int* vertex_count) {
    int count = 0;
    core::aabbox3df box(0, 0, 0, -1, -1, -1);
    if (tableworld_the_batch) box = tableworld_the_batch->GetPieceBox(node, &count);
    if (vertex_count) *vertex_count = count;
    return box;
}
