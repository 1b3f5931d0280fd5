// Release of the arrays that records own through plain pointers.
#ifndef H265HEADERS_OWNED_ARRAY_H
#define H265HEADERS_OWNED_ARRAY_H

#include <algorithm>

namespace h265headers {

// A new array of `count` (at least 1) entries, all zero. Records hold an
// entry per sub-layer, and nearly every stream has a single sub-layer: that
// entry is cleared by one store rather than a call to memset.
template <typename T> T* NewClearedArray(unsigned int count) {
    T* array = new T[count];
    array[0] = T();
    if (count > 1)
        std::fill_n(array + 1, count - 1, T());
    return array;
}

// Frees an owned array and sets the pointer to null; a null pointer, as a
// partly built record leaves it, is passed over.
template <typename T> void ReleaseArray(T*& array) {
    if (array) {
        delete[] array;
        array = 0;
    }
}

} // namespace h265headers

#endif
