// The small part of JSON writing the inspector needs.
#ifndef H265INFO_JSON_H
#define H265INFO_JSON_H

#include <cstddef>
#include <string>

namespace h265info {

// The text as a quoted JSON string: quote, backslash and control characters
// escaped, and every byte that is not part of a well-formed UTF-8 sequence
// (file names need not be UTF-8) replaced by U+FFFD, so the document is
// always valid UTF-8.
std::string JsonString(const std::string& text);

// Length of the well-formed UTF-8 sequence at s[i], or 0 when there is none:
// no overlong forms, no surrogates, nothing above U+10FFFF.
std::size_t Utf8SequenceLength(const std::string& s, std::size_t i);

// Appends `text` to `out`: well-formed UTF-8 sequences as they are, each byte
// outside one as `replacement`, and each ASCII byte as escapeAscii(c, out)
// writes it. The walk behind JsonString and the SVG's XML escaping.
template <typename EscapeAscii>
void AppendUtf8(const std::string& text, std::string& out, const char* replacement, EscapeAscii escapeAscii) {
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            escapeAscii(c, out);
            ++i;
            continue;
        }
        const std::size_t length = Utf8SequenceLength(text, i);
        if (length == 0) {
            out += replacement;
            ++i;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
}

} // namespace h265info

#endif
