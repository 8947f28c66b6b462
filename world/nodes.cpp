// The cube nodes: three textured mesh nodes per cube of the table, and the single cubes of the objective.
#include "app/util.h"
#include "level/level.h"
#include "world/tableworld.h"

using namespace irr;

scene::IMeshSceneNode* tableworld_AddMeshNode(const char* mesh_file) {
    if (!smgr) util_CriticalError("tableworld_AddMeshNode : no scene manager");
    scene::IAnimatedMesh* mesh = util_LoadMesh(mesh_file);
    // Hundreds of nodes share each cube piece and none changes it: kept in the driver's buffers, its
    // vertices are not sent again for every node of every frame.
    mesh->setHardwareMappingHint(scene::EHM_STATIC);
    scene::IMeshSceneNode* node = smgr->addMeshSceneNode(mesh->getMesh(0, 255, -1, -1), nullptr, -1,
                                                         core::vector3df(0, 0, 0), core::vector3df(0, 0, 0),
                                                         core::vector3df(1, 1, 1), false);
    if (!node) util_CriticalError("tableworld_AddMeshNode : could not add the mesh node");
    return node;
}

static void tableworld_SetTexture(scene::ISceneNode* node, video::ITexture* texture) {
    for (u32 i = 0; i < node->getMaterialCount(); i++) node->getMaterial(i).TextureLayer[0].Texture = texture;
}

// Glass lets the player see through the cube tops and bottoms; the sides always keep the mesh's own material.
static scene::ISceneNode* tableworld_AddFace(const char* mesh_file, video::ITexture* texture, bool fog, bool glass) {
    scene::ISceneNode* node = tableworld_AddMeshNode(mesh_file);
    tableworld_SetTexture(node, texture);
    if (fog) node->setMaterialFlag(video::EMF_FOG_ENABLE, true);
    if (glass)
        for (u32 i = 0; i < node->getMaterialCount(); i++)
            node->getMaterial(i).MaterialType = video::EMT_TRANSPARENT_ADD_COLOR;
    return node;
}

static void tableworld_SetDullGrey(scene::ISceneNode* node) {
    for (u32 i = 0; i < node->getMaterialCount(); i++) {
        video::SMaterial& material = node->getMaterial(i);
        material.Shininess = 0.0f;
        material.DiffuseColor = video::SColor(255, 150, 150, 150);
        material.AmbientColor = video::SColor(255, 150, 150, 150);
        material.SpecularColor = video::SColor(0, 0, 0, 0);
    }
}

void tableworld_AddCube(video::ITexture* top_texture, float x, float y, float z, video::ITexture* side_texture,
                        video::ITexture* bottom_texture, bool fog, bool glass) {
    scene::ISceneNode* side = tableworld_AddFace("data/side.3ds", side_texture, fog, false);
    scene::ISceneNode* top = tableworld_AddFace("data/top.3ds", top_texture, fog, glass);
    scene::ISceneNode* bottom = tableworld_AddFace("data/bottom.3ds", bottom_texture, fog, glass);
    scene::ISceneNode* nodes[3] = {top, side, bottom};

    // A hair over half size: neighbouring cubes overlap a little and leave no cracks.
    const core::vector3df scale(TABLEWORLD_PIECE_SCALE, TABLEWORLD_PIECE_SCALE, TABLEWORLD_PIECE_SCALE);
    for (scene::ISceneNode* node : nodes) node->setScale(scale);
    core::vector3df centre(x + 10, y + 10, z + 10);
    for (scene::ISceneNode* node : nodes) node->setPosition(centre);
    for (scene::ISceneNode* node : nodes) node->setMaterialFlag(video::EMF_LIGHTING, true);
    for (scene::ISceneNode* node : nodes) node->setMaterialFlag(video::EMF_NORMALIZE_NORMALS, true);
    for (scene::ISceneNode* node : nodes) tableworld_SetDullGrey(node);

    int i = tableworld_ToCell(centre.X), j = tableworld_ToCell(centre.Y), k = tableworld_ToCell(centre.Z);
    if (!tableworld_IsInside(i, j, k)) return;
    int index = tableworld_GetIndex(i, j, k);
    tableworld_side_nodes[index] = side;
    tableworld_top_nodes[index] = top;
    tableworld_bottom_nodes[index] = bottom;
}

void tableworld_AddAllCubes(bool fog, bool glass) {
    for (int x = 0; x < tableworld_size_x; x++)
        for (int y = 0; y < tableworld_size_y; y++)
            for (int z = 0; z < tableworld_size_z; z++)
                if (tableworld_GetCell(x, y, z))
                    tableworld_AddCube(level_top_texture, 20.0f * x, 20.0f * y, 20.0f * z, level_side_texture,
                                       level_bottom_texture, fog, glass);
}

scene::ISceneNode* util_AddTexturedCube(const char* texture_file, bool fog, core::vector3df position) {
    scene::ISceneNode* node = tableworld_AddMeshNode("data/cube.3ds");
    if (!driver) util_CriticalError("util_AddTexturedCube : no video driver");
    tableworld_SetTexture(node, util_LoadTexture(texture_file));
    node->setMaterialFlag(video::EMF_LIGHTING, false);
    if (fog) node->setMaterialFlag(video::EMF_FOG_ENABLE, true);
    node->setPosition(position);
    return node;
}
