// The maze test: whether free cells connect the objective's cell to the player's.
#include <vector>

#include "world/tableworld.h"

using namespace irr;

bool tableworld_TestMaze(core::vector3df from, core::vector3df to) {
    return tableworld_SearchPath(tableworld_ToCell(from.X), tableworld_ToCell(from.Y), tableworld_ToCell(from.Z),
                                 tableworld_ToCell(to.X), tableworld_ToCell(to.Y), tableworld_ToCell(to.Z));
}

static bool tableworld_IsEnterable(int x, int y, int z) {
    if (!tableworld_IsInside(x, y, z)) return false;
    return tableworld_GetCell(x, y, z) == 0 && tableworld_visited[tableworld_GetIndex(x, y, z)] == 0;
}

bool tableworld_SearchPath(int x, int y, int z, int target_x, int target_y, int target_z) {
    bool inside = tableworld_IsInside(x, y, z);
    if (inside) tableworld_visited[tableworld_GetIndex(x, y, z)] = 1;
    if (x == target_x && y == target_y && z == target_z) return true;
    if (!inside) return false;
    // An explicit stack: a large open table would otherwise nest one call per free cell.
    static const int steps[6][3] = {{-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}};
    std::vector<int> stack;
    stack.push_back(x);
    stack.push_back(y);
    stack.push_back(z);
    while (!stack.empty()) {
        int cz = stack.back(); stack.pop_back();
        int cy = stack.back(); stack.pop_back();
        int cx = stack.back(); stack.pop_back();
        if (cx == target_x && cy == target_y && cz == target_z) return true;
        for (const int* step : steps) {
            int nx = cx + step[0], ny = cy + step[1], nz = cz + step[2];
            if (!tableworld_IsEnterable(nx, ny, nz)) continue;
            tableworld_visited[tableworld_GetIndex(nx, ny, nz)] = 1;
            stack.push_back(nx);
            stack.push_back(ny);
            stack.push_back(nz);
        }
    }
    return false;
}
