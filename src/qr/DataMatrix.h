#pragma once

#include <vector>

// A square matrix of QR modules: 1 for dark, 0 for light, addressed by
// column x and row y with the origin at the top left.
class DataMatrix {
public:
    explicit DataMatrix(int dimension);

    int dimension() const { return dim; }
    // Stores the low bit of value at column x, row y.
    void set(int value, int x, int y);
    int valueAt(int x, int y) const;

private:
    int dim;
    std::vector<unsigned char> data; // dim rows of dim cells, row-major by y
};
