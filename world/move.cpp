// The moving cube and the quake: the per-frame motions of the cube nodes during play.
#include "app/util.h"
#include "player/player.h"
#include "world/tableworld.h"

using namespace irr;

int tableworld_move_direction = 0;
scene::ISceneNode* tableworld_move_nodes[3] = {nullptr, nullptr, nullptr};
double tableworld_move_target = 0.0;
int tableworld_move_cell[3] = {0, 0, 0};

static void tableworld_RequireMoveNodes() {
    if (!tableworld_move_nodes[0] || !tableworld_move_nodes[1] || !tableworld_move_nodes[2])
        util_CriticalError("tableworld_MoveCube : pas de cube a bouger");
}

// The top and bottom faces follow the side node, which carries the cube's position.
static void tableworld_FollowSide(scene::ISceneNode* side, scene::ISceneNode* top, scene::ISceneNode* bottom) {
    core::vector3df position = side->getPosition();
    top->setPosition(position);
    bottom->setPosition(position);
}

// Moves the cube on by step; true once it has passed its target and settled in its new cell.
static bool tableworld_AdvanceMove(double step) {
    tableworld_RequireMoveNodes();
    scene::ISceneNode* side = tableworld_move_nodes[0];
    core::vector3df p = side->getPosition();
    int axis = (tableworld_move_direction - 1) / 2;
    bool toward_minus = tableworld_move_direction % 2 == 1;
    double moved = (axis == 0 ? p.X : axis == 1 ? p.Y : p.Z) + (toward_minus ? -step : step);
    if (axis == 0) p.X = (f32)moved;
    else if (axis == 1) p.Y = (f32)moved;
    else p.Z = (f32)moved;
    side->setPosition(p);

    core::vector3df now = side->getPosition();
    double coordinate = axis == 0 ? now.X : axis == 1 ? now.Y : now.Z;
    // Landing exactly on the target is not past it: the cube settles on the next call.
    bool ended = toward_minus ? coordinate < tableworld_move_target : coordinate > tableworld_move_target;
    if (!ended) {
        tableworld_FollowSide(side, tableworld_move_nodes[1], tableworld_move_nodes[2]);
        return false;
    }
    tableworld_move_direction = 0;
    const int* cell = tableworld_move_cell;
    side->setPosition(tableworld_GetCellCentre(cell[0], cell[1], cell[2]));
    tableworld_FollowSide(side, tableworld_move_nodes[1], tableworld_move_nodes[2]);
    tableworld_SetCell(cell[0], cell[1], cell[2], 1);
    int index = tableworld_GetIndex(cell[0], cell[1], cell[2]);
    tableworld_side_nodes[index] = tableworld_move_nodes[0];
    tableworld_top_nodes[index] = tableworld_move_nodes[1];
    tableworld_bottom_nodes[index] = tableworld_move_nodes[2];
    return true;
}

// One random pick of a cube and a direction; true when it starts a move.
static bool tableworld_TryStartMove(const core::vector3df& player_position, const core::vector3df& objective_position) {
    int source[3];
    source[0] = (int)(tableworld_GetUnitRandom() * tableworld_size_x);
    source[1] = (int)(tableworld_GetUnitRandom() * tableworld_size_y);
    source[2] = (int)(tableworld_GetUnitRandom() * tableworld_size_z);
    int k = (int)(tableworld_GetUnitRandom() * 6);
    tableworld_move_direction = 0;
    // A draw of exactly 1 gives k = 6, which names no direction.
    if (k > 5) return false;

    int axis = k / 2;
    int destination[3] = {source[0], source[1], source[2]};
    destination[axis] += k % 2 == 0 ? -1 : 1;
    if (!tableworld_IsInside(source[0], source[1], source[2]) || !tableworld_GetCell(source[0], source[1], source[2]))
        return false;
    if (!tableworld_IsInside(destination[0], destination[1], destination[2]) ||
        tableworld_GetCell(destination[0], destination[1], destination[2]))
        return false;

    int index = tableworld_GetIndex(source[0], source[1], source[2]);
    tableworld_move_nodes[0] = tableworld_side_nodes[index];
    tableworld_move_nodes[1] = tableworld_top_nodes[index];
    tableworld_move_nodes[2] = tableworld_bottom_nodes[index];
    tableworld_RequireMoveNodes();

    // Only cubes at a middle distance move: never under the player's feet, never out of sight.
    core::vector3df cube = tableworld_move_nodes[0]->getPosition();
    float distance = util_GetDistance(cube.X, cube.Y, cube.Z, player_position.X, player_position.Y, player_position.Z);
    if (distance < 60 || distance > 100) return false;
    int objective_cell[3] = {tableworld_ToCell(objective_position.X), tableworld_ToCell(objective_position.Y),
                             tableworld_ToCell(objective_position.Z)};
    if (objective_cell[0] == destination[0] && objective_cell[1] == destination[1] &&
        objective_cell[2] == destination[2])
        return false;

    tableworld_move_target = 20.0 * destination[axis] + 10;
    tableworld_move_direction = k + 1;
    for (int i = 0; i < 3; i++) tableworld_move_cell[i] = destination[i];
    tableworld_SetCell(source[0], source[1], source[2], 0);
    return true;
}

void tableworld_MoveCube(Player* player, scene::ISceneNode* objective, double step) {
    if (step == 0) return;
    if (tableworld_move_direction != 0 && !tableworld_AdvanceMove(step)) return;
    if (!player || !player->object || !player->object->node || !objective)
        util_CriticalError("tableworld_MoveCube : no player or objective");
    core::vector3df player_position = player->object->node->getPosition();
    core::vector3df objective_position = objective->getPosition();
    // A table with no cube at a suitable distance would otherwise hold the frame forever.
    for (int attempt = 0; attempt < TABLEWORLD_MOVE_ATTEMPTS; attempt++)
        if (tableworld_TryStartMove(player_position, objective_position)) return;
}

void tableworld_Quake(double amplitude) {
    if (!(amplitude > 0)) return;
    // Every cell draws its three offsets, cube or not: the loop order fixes the sequence of draws.
    for (int x = 0; x < tableworld_size_x; x++)
        for (int y = 0; y < tableworld_size_y; y++)
            for (int z = 0; z < tableworld_size_z; z++) {
                double dx = tableworld_GetUnitRandom() - 0.5;
                double dy = tableworld_GetUnitRandom() - 0.5;
                double dz = tableworld_GetUnitRandom() - 0.5;
                int index = tableworld_GetIndex(x, y, z);
                if (!tableworld_cells[index]) continue;
                scene::ISceneNode* side = tableworld_side_nodes[index];
                scene::ISceneNode* top = tableworld_top_nodes[index];
                scene::ISceneNode* bottom = tableworld_bottom_nodes[index];
                // About one frame in ten a cube snaps home, so the random walk stays near its cell.
                bool snaps_home = tableworld_GetUnitRandom() > 0.9;
                if (!side || !top || !bottom) continue;
                core::vector3df p = side->getPosition();
                if (snaps_home)
                    side->setPosition(tableworld_GetCellCentre(x, y, z));
                else
                    side->setPosition(core::vector3df((f32)(p.X + amplitude * dx), (f32)(p.Y + amplitude * dy),
                                                      (f32)(p.Z + amplitude * dz)));
                tableworld_FollowSide(side, top, bottom);
            }
}
