// The cube table: its cells, its random filling and the queries the player and the maze test make.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app/util.h"
#include "settings/settings.h"
#include "world/tableworld.h"

using namespace irr;

int tableworld_size_x = 0;
int tableworld_size_y = 0;
int tableworld_size_z = 0;
unsigned char* tableworld_cells = nullptr;
unsigned char* tableworld_visited = nullptr;
scene::ISceneNode** tableworld_side_nodes = nullptr;
scene::ISceneNode** tableworld_top_nodes = nullptr;
scene::ISceneNode** tableworld_bottom_nodes = nullptr;

int tableworld_GetRandom15() {
    // The draws are made for a generator of 15 bits; a wider one (glibc's has 31) keeps its top 15.
    return (int)((unsigned)rand() / (((unsigned)RAND_MAX + 1u) / 32768u));
}

float tableworld_GetUnitRandom() {
    // Each step rounds to single precision, which fixes exactly when a draw reaches 1.
    float r = (float)(tableworld_GetRandom15() * 10);
    float q = r / 32767.0f;
    return q / 10.0f;
}

int tableworld_GetIndex(int x, int y, int z) {
    return (z * tableworld_size_y + y) * tableworld_size_x + x;
}

bool tableworld_IsInside(int x, int y, int z) {
    return x >= 0 && y >= 0 && z >= 0 && x < tableworld_size_x && y < tableworld_size_y && z < tableworld_size_z;
}

// Truncated toward zero, so a coordinate just below zero is still in cell 0; a far-away or not-a-number
// coordinate maps to a cell far outside the table rather than overflowing an int.
int tableworld_ToCell(float coordinate) {
    float cell = coordinate / 20;
    if (cell > -1.0e9f && cell < 1.0e9f) return (int)cell;
    return cell <= -1.0e9f ? -1000000000 : 1000000000;
}

core::vector3df tableworld_GetCellCentre(int x, int y, int z) {
    return core::vector3df((f32)(20 * x + 10), (f32)(20 * y + 10), (f32)(20 * z + 10));
}

// The one check of the table's sizes: it runs on the settings, so the message can name the key at fault.
int tableworld_CheckSize(const char* key, int minimum) {
    double value = settings_Get(key);
    // Below the minimum no standing place exists and the random position never ends; far above, nothing fits in memory.
    if (std::isfinite(value)) {
        int cells = settings_ToInt(value);
        if (cells >= minimum && cells <= TABLEWORLD_MAX_SIZE) return cells;
    }
    char message[128];
    snprintf(message, sizeof message, "must be a whole number of cells from %d to %d", minimum, TABLEWORLD_MAX_SIZE);
    fprintf(stderr, "%s :", key);
    util_CriticalError(message);
}

void tableworld_Free() {
    delete[] tableworld_cells;
    delete[] tableworld_visited;
    delete[] tableworld_side_nodes;
    delete[] tableworld_top_nodes;
    delete[] tableworld_bottom_nodes;
    tableworld_cells = nullptr;
    tableworld_visited = nullptr;
    tableworld_side_nodes = nullptr;
    tableworld_top_nodes = nullptr;
    tableworld_bottom_nodes = nullptr;
}

void tableworld_Create(int size_x, int size_y, int size_z, double probability) {
    tableworld_Free();
    tableworld_size_x = size_x;
    tableworld_size_y = size_y;
    tableworld_size_z = size_z;
    tableworld_move_direction = 0;

    int count = size_x * size_y * size_z;
    tableworld_cells = new unsigned char[count];
    tableworld_visited = new unsigned char[count];
    tableworld_side_nodes = new scene::ISceneNode*[count]();
    tableworld_top_nodes = new scene::ISceneNode*[count]();
    tableworld_bottom_nodes = new scene::ISceneNode*[count]();

    // x outermost, z innermost: this order decides which cell gets which random draw.
    for (int x = 0; x < size_x; x++)
        for (int y = 0; y < size_y; y++)
            for (int z = 0; z < size_z; z++) {
                int index = tableworld_GetIndex(x, y, z);
                // A cube with a free cell above it at the corner: one standing place always exists.
                if (x == 0 && y == 0 && z == 0) tableworld_cells[index] = 1;
                else if (x == 0 && y == 1 && z == 0) tableworld_cells[index] = 0;
                else tableworld_cells[index] = tableworld_GetUnitRandom() > 1.0 - probability ? 1 : 0;
                tableworld_visited[index] = 0;
            }
}

unsigned char tableworld_GetCell(int x, int y, int z) {
    if (x < 0 || y < 0 || z < 0) return 0;
    if (x >= tableworld_size_x || z >= tableworld_size_z) return 0;
    // The space above the top layer is a ceiling; below and beside the table one falls.
    if (y >= tableworld_size_y) return 1;
    return tableworld_cells[tableworld_GetIndex(x, y, z)];
}

void tableworld_SetCell(int x, int y, int z, unsigned char value) {
    if (tableworld_IsInside(x, y, z)) tableworld_cells[tableworld_GetIndex(x, y, z)] = value;
}

unsigned char tableworld_GetCellAt(float x, float y, float z) {
    // Negative coordinates would truncate into cell 0; written this way NaN is free as well.
    if (!(x >= 0 && y >= 0 && z >= 0)) return 0;
    return tableworld_GetCell(tableworld_ToCell(x), tableworld_ToCell(y), tableworld_ToCell(z));
}

core::vector3df tableworld_GetRandomPosition() {
    for (;;) {
        int x = (int)(tableworld_GetUnitRandom() * tableworld_size_x);
        int y = (int)(tableworld_GetUnitRandom() * (tableworld_size_y - 1) + 1);
        int z = (int)(tableworld_GetUnitRandom() * tableworld_size_z);
        // Above the top layer reads as solid and beside the table as free: a draw above the table starts
        // again, one beside it finds no cube below and starts again too.
        if (tableworld_GetCell(x, y, z)) continue;
        for (int c = y - 1; c >= 0; c--)
            if (tableworld_GetCell(x, c, z))
                return tableworld_GetCellCentre(x, c + 1, z);
    }
}
