// SPDX-License-Identifier: MIT
// Which files Open and tavolin-cli take for documents: binary files and undecodable
// bytes refused, text a save would not write back found, every readable document kept.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/DocumentCheck.h"
#include "document/FileSystem.h"
#include "document/TextEncoding.h"
#include "tests/document/DocumentTestSupport.h"

namespace tavolin::document {
namespace {

const char* problemName(FileProblem p) {
    switch (p) {
    case FileProblem::None: return "None";
    case FileProblem::NulByte: return "NulByte";
    case FileProblem::Undecodable: return "Undecodable";
    case FileProblem::TextAfterEnd: return "TextAfterEnd";
    case FileProblem::OutsideRecord: return "OutsideRecord";
    }
    return "?";
}

std::string describe(const DocumentFileCheck& c) {
    return std::string(problemName(c.problem)) + " at " + std::to_string(c.offset) + " x" + std::to_string(c.count) +
           (c.refused() ? " refused" : "") + (c.losesText() ? " loses" : "");
}

TEST(DocumentCheck, WhatAFileLosesAsADocument) {
    struct Row {
        const char* name;
        std::string fileBytes;  // as on disk; decoded as Open decodes it first
        DocumentFileCheck want;
    };
    using P = FileProblem;
    const std::vector<Row> rows = {
        {"a saved document", "SMML@T120;MML@CDE\r\r\nFGA,B,,,;", {}},
        {"an empty document", "SMML@;MML@,,,,;", {}},
        {"plain MML without tags, lower case, TABs", "t120\tcde\r\nfga\r\n", {}},
        {"a UTF-8 file", "SMML@;MML@c /* \xE3\x83\x89\xE3\x83\xAC\xE3\x83\x9F */,,,,;", {}},
        {"CP932 comments", "MML@C /* \x83\x68\x83\x8C\x83\x7E */;", {}},
        {"a user-defined CP932 character", "MML@C\xF0\x40;", {}},
        {"line breaks and a DOS end mark after the record", "SMML@;MML@C,,,,;\r\n\x1A\x1A", {}},
        {"an ELF program", std::string("\x7F" "ELF\x02\x01\x01\0\0\0>", 11), {P::NulByte, 8, 3}},
        {"NUL after a valid record", std::string("SMML@;MML@C,,,,;\0", 17), {P::NulByte, 17, 1}},
        {"bytes that are no CP932 character", "MML@C\x80\xFD\x85\x40;\xFF", {P::Undecodable, 6, 4}},
        {"a lead byte cut off at the end", "MML@C;\x81", {P::Undecodable, 7, 1}},
        {"text after a Ctrl+Z", "MML@C;\x1AMML@D;", {P::TextAfterEnd, 7, 6}},
        {"text after the closing ;", "T120 CDE; MORE TEXT\r\n", {P::OutsideRecord, 0, 11}},
        {"a sixth bank", "SMML@;MML@A,B,C,D,E,F;", {P::OutsideRecord, 0, 2}},
        {"a header before MML@", "#TITLE X\r\nMML@C;", {P::OutsideRecord, 0, 9}},
        {"an unclosed common block keeps only what follows its tag", "SMML@T120", {P::OutsideRecord, 0, 1}},
    };
    for (const auto& r : rows) {
        const DecodedFile decoded = decodeDocumentFile(r.fileBytes);
        ASSERT_TRUE(decoded.ok()) << r.name;
        const DocumentFileCheck got = checkDocumentFile(decoded.bytes);
        EXPECT_EQ(got, r.want) << r.name << ": got " << describe(got) << ", want " << describe(r.want);
        // The one load path refuses exactly what the check refuses.
        const LoadedDocument loaded = loadDocumentFile(r.fileBytes);
        EXPECT_EQ(loaded.check, r.want) << r.name;
        EXPECT_EQ(loaded.ok(), !r.want.refused()) << r.name;
    }
}

// The steps before the check, in order: the size limit, then the conversion.
TEST(DocumentCheck, LoadRefusesTooLargeAndUnconvertibleFilesFirst) {
    using R = LoadedDocument::Refusal;
    const std::pair<std::string, R> rows[] = {
        {std::string(kMaxDocumentBytes, 'C'), R::None},
        {std::string(kMaxDocumentBytes + 1, '\0'), R::TooLarge},
        {"MML@C \xF0\x9F\x98\x80;", R::Unencodable},  // UTF-8 with no CP932 form
        {std::string("MML@C\0;", 7), R::NotADocument},
    };
    for (const auto& [bytes, refusal] : rows) {
        const LoadedDocument loaded = loadDocumentFile(bytes);
        EXPECT_EQ(loaded.refusal, refusal) << bytes.size();
        EXPECT_EQ(loaded.decoded.bytes.empty(), refusal == R::TooLarge || refusal == R::Unencodable) << bytes.size();
    }
    EXPECT_TRUE(loadDocumentFile(std::string("MML@C\0;", 7), false).ok()) << "an unchecked text is not checked";
}

}  // namespace
}  // namespace tavolin::document
