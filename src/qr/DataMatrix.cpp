#include "DataMatrix.h"

DataMatrix::DataMatrix(int dimension)
    : dim(dimension > 0 ? dimension : 0), data(static_cast<std::size_t>(dim) * static_cast<std::size_t>(dim), 0)
{
}

void DataMatrix::set(int value, int x, int y)
{
    if (x < 0 || y < 0 || x >= dim || y >= dim)
        return;
    data[static_cast<std::size_t>(y) * static_cast<std::size_t>(dim) + static_cast<std::size_t>(x)] = value & 1;
}

int DataMatrix::valueAt(int x, int y) const
{
    if (x < 0 || y < 0 || x >= dim || y >= dim)
        return 0;
    return data[static_cast<std::size_t>(y) * static_cast<std::size_t>(dim) + static_cast<std::size_t>(x)];
}
