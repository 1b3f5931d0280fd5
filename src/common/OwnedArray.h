// Release of the arrays that records own through plain pointers.
#ifndef H265HEADERS_OWNED_ARRAY_H
#define H265HEADERS_OWNED_ARRAY_H

namespace h265headers {

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
