// Byte sources for the bit reader. Running out of bytes is reported by the
// end-of-data signal, a thrown int of value 1, which passes unchanged through
// the reader and the parse operation to the library's caller.
#ifndef H265HEADERS_INPUT_SOURCE_H
#define H265HEADERS_INPUT_SOURCE_H

#include <cstdio>

#include "h265headers.h"

namespace h265headers {
// The value thrown as the end-of-data signal.
const int kEndOfData = 1;
} // namespace h265headers

class CInputSource {
public:
    virtual unsigned int ReadByte() = 0;
    virtual void UnreadByte() = 0;
    virtual ~CInputSource() {}
};

// Reads a block that the caller owns; nothing is copied or written.
class CMemInputSource : public CInputSource {
public:
    CMemInputSource(const BYTE* ptr, int len) : m_ptr(ptr), m_len(len), m_pos(0) {}

    unsigned int ReadByte() {
        if (m_pos >= m_len)
            throw h265headers::kEndOfData;
        return m_ptr[m_pos++];
    }
    void UnreadByte() {
        if (m_pos == 0)
            throw h265headers::kEndOfData;
        --m_pos;
    }
    int Position() const { return m_pos; }
    // The unread bytes, for a bit reader that reads them in place.
    const BYTE* Cursor() const { return m_ptr + m_pos; }
    const BYTE* End() const { return m_ptr + (m_len > m_pos ? m_len : m_pos); }

private:
    const BYTE* m_ptr;
    int m_len;
    int m_pos;
};

// Reads a file opened with mode "rb"; a file that cannot be opened ends the
// constructor with the end-of-data signal.
class CFileInputSource : public CInputSource {
public:
    explicit CFileInputSource(const char* path);
    ~CFileInputSource();
    unsigned int ReadByte();
    void UnreadByte();

private:
    CFileInputSource(const CFileInputSource&);
    CFileInputSource& operator=(const CFileInputSource&);
    FILE* m_file;
};

#endif
