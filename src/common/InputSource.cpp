#include "InputSource.h"

CFileInputSource::CFileInputSource(const char* path) : m_file(std::fopen(path, "rb")) {
    if (!m_file)
        throw h265headers::kEndOfData;
}

CFileInputSource::~CFileInputSource() {
    if (m_file)
        std::fclose(m_file);
}

unsigned int CFileInputSource::ReadByte() {
    unsigned char byte;
    if (std::fread(&byte, 1, 1, m_file) != 1)
        throw h265headers::kEndOfData;
    return byte;
}

void CFileInputSource::UnreadByte() {
    // Stepping back from the start of the file makes fseek fail, which leaves
    // the position where it was; nothing in the library ever does that.
    long pos = std::ftell(m_file);
    if (pos > 0)
        std::fseek(m_file, pos - 1, SEEK_SET);
}
