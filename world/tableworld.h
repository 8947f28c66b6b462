// The cube world: the table of cells, its random generation, the maze test, moving cubes, the quake and the cube nodes.
#pragma once

#include <irrlicht.h>

struct Player;

// The table: one byte per cell, index (z * size_y + y) * size_x + x; y is up; one cell is 20 units.
extern int tableworld_size_x;                          // cells along x
extern int tableworld_size_y;                          // cells along y, the vertical axis
extern int tableworld_size_z;                          // cells along z
extern unsigned char* tableworld_cells;                // 1 = the cell holds a cube, 0 = free
extern unsigned char* tableworld_visited;              // marks of the maze test
extern irr::scene::ISceneNode** tableworld_side_nodes;    // per cell: the node drawing the cube's four sides
extern irr::scene::ISceneNode** tableworld_top_nodes;     // per cell: the node drawing its top face
extern irr::scene::ISceneNode** tableworld_bottom_nodes;  // per cell: the node drawing its bottom face

// The moving cube.
extern int tableworld_move_direction;                  // 0 none; 1 -x, 2 +x, 3 -y, 4 +y, 5 -z, 6 +z
extern irr::scene::ISceneNode* tableworld_move_nodes[3];  // side, top and bottom nodes of the moving cube
extern double tableworld_move_target;                  // centre of the destination cell on the move's axis
extern int tableworld_move_cell[3];                    // the destination cell

const int TABLEWORLD_MAX_SIZE = 64;                    // largest table side accepted from the settings
const int TABLEWORLD_MOVE_ATTEMPTS = 1000;             // draws per call before giving up starting a move
// The cube pieces are 40 units across and drawn a hair over half size, so that neighbours overlap and no crack
// opens; the data generator stretches their texture coordinates by the same factor, and blackens the band of the
// tops' and bottoms' textures that overlaps, where the glass and the ceiling would add their light twice.
const float TABLEWORLD_PIECE_SCALE = 0.51f;

int tableworld_GetRandom15();                          // one rand() reduced to 0..32767 whatever RAND_MAX is
float tableworld_GetUnitRandom();                      // ((r * 10) / 32767) / 10 in single precision, r the 15-bit draw
int tableworld_GetIndex(int x, int y, int z);          // the common index of the five arrays
bool tableworld_IsInside(int x, int y, int z);         // the cell lies in the table
int tableworld_ToCell(float coordinate);               // a world coordinate's cell: / 20 truncated toward zero
irr::core::vector3df tableworld_GetCellCentre(int x, int y, int z);  // where a cube of the cell stands at rest
int tableworld_CheckSize(const char* key, int minimum);   // the key's cells, or a critical error naming it
                                                          // unless minimum..max
void tableworld_Create(int size_x, int size_y, int size_z, double probability);  // allocates and fills a table
                                                       // of sizes that passed tableworld_CheckSize
void tableworld_Free();                                // frees the five arrays
unsigned char tableworld_GetCell(int x, int y, int z); // the cell; outside: free, but solid above the top layer
void tableworld_SetCell(int x, int y, int z, unsigned char value);  // writes a cell inside the table
unsigned char tableworld_GetCellAt(float x, float y, float z);      // the cell holding a world position
irr::core::vector3df tableworld_GetRandomPosition();   // centre of a free cell resting on a cube

bool tableworld_TestMaze(irr::core::vector3df from, irr::core::vector3df to);  // free cells connect the two cells
bool tableworld_SearchPath(int x, int y, int z, int target_x, int target_y, int target_z);

void tableworld_MoveCube(Player* player, irr::scene::ISceneNode* objective, double step);  // advances the moving cube
void tableworld_Quake(double amplitude);               // one shaking step of every cube

float tableworld_GetNearReach(const irr::scene::ICameraSceneNode* camera);  // how far the corners of the
                                                       // camera's near plane lie from its eye
irr::scene::IMeshSceneNode* tableworld_AddMeshNode(const char* mesh_file);  // a node of frame 0 of a mesh file
void tableworld_AddAllCubes(bool fog, bool glass);     // the three nodes of every cube, with the level's textures
void tableworld_AddCube(irr::video::ITexture* top_texture, float x, float y, float z,
                        irr::video::ITexture* side_texture, irr::video::ITexture* bottom_texture,
                        bool fog, bool glass);         // the three nodes of the cube whose cell starts at x, y, z
irr::scene::ISceneNode* util_AddTexturedCube(const char* texture_file, bool fog,
                                             irr::core::vector3df position);  // one textured cube node, scale 1

// The batch: every cube piece of the level drawn in a few calls, one set of merged buffers per piece mesh and
// material, while the per-cell nodes keep their state (and draw themselves when KORVANIX_DRAW_NODES is 1). Only
// the nodes' positions may change once they are merged.
bool tableworld_IsDrawingNodes();                      // KORVANIX_DRAW_NODES=1: the cubes drawn node by node
void tableworld_CreateBatch();                         // merges the nodes of every cube of the table and adopts them
void tableworld_AddToBatch(irr::scene::ISceneNode* node);  // merges and adopts one more mesh node
void tableworld_AdoptSky(irr::scene::ISceneNode* sky); // the sky drawn after the opaque cubes, depth-tested
void tableworld_UpdateBatch();                         // moves the merged pieces to where their nodes now stand
void tableworld_RemoveBatch();                         // removes the batch and, with it, the nodes it adopted
int tableworld_CountBatchPieces();                     // pieces held (one per node and mesh buffer); 0 without batch
int tableworld_CountBatchBuffers();                    // merged buffers, each drawn in one call
int tableworld_CountBatchTriangles();                  // opaque triangles last drawn, the hidden faces and
                                                       // those seen from behind left out
irr::core::aabbox3df tableworld_GetBatchPieceBox(irr::scene::ISceneNode* node,
                                                 int* vertex_count);  // where the buffers hold the node's vertices
