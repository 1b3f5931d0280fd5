// Shared helpers for the unit tests.
#ifndef H265HEADERS_TESTS_TEST_SUPPORT_H
#define H265HEADERS_TESTS_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <memory>

#include "BitWriter.h"
#include "h265headers.h"

// Asserts that `statement` ends with the end-of-data signal, a thrown int of value 1.
#define EXPECT_END_OF_DATA(statement)                                                                          \
    do {                                                                                                       \
        int thrown_ = 0;                                                                                       \
        try {                                                                                                  \
            statement;                                                                                         \
        } catch (int value_) {                                                                                 \
            thrown_ = value_;                                                                                  \
        }                                                                                                      \
        EXPECT_EQ(1, thrown_) << "expected the end-of-data signal from " #statement;                          \
    } while (0)

struct H265ParserDeleter {
    void operator()(IH265Parser* p) const { ReleaseH265Parser(&p); }
};
typedef std::unique_ptr<IH265Parser, H265ParserDeleter> H265ParserPtr;

struct HeaderParserDeleter {
    void operator()(IVideoHeaderParser* p) const { ReleaseVideoHeaderParser(&p); }
};
typedef std::unique_ptr<IVideoHeaderParser, HeaderParserDeleter> HeaderParserPtr;

inline H265ParserPtr MakeH265Parser() { return H265ParserPtr(CreateH265Parser()); }
inline HeaderParserPtr MakeHeaderParser() { return HeaderParserPtr(CreateH265HeaderParser()); }

#endif
