// Reading lines from arbitrary bytes: the script text has every line ended by CR LF and no
// CR elsewhere, loses or adds no other byte, and a file written from it (text + CR LF) reads
// back as the same text with one empty line more, so each run adds exactly one line.
//
// Input: the script file's bytes as they are; CR, LF and NUL are single bytes a mutator
// reaches without help.

#include "engine/file_formats.h"
#include "tests/fuzz/fuzz_support.h"

#include <string>

namespace {

using namespace fuzz_support;

// The line rules in their plainest form: a CR ends a line and takes an LF right after it
// along; an LF anywhere else is part of the line; bytes after the last terminator make one
// more line.
std::string referenceScriptText(std::string_view bytes) {
    std::string text;
    std::string line;
    bool lineOpen = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r') {
            text += line;
            text += "\r\n";
            line.clear();
            lineOpen = false;
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else {
            line += bytes[i];
            lineOpen = true;
        }
    }
    if (lineOpen)
        text += line + "\r\n";
    return text;
}

std::string withoutLineEnds(std::string_view text) {
    std::string kept;
    for (const char c : text)
        if (c != '\r' && c != '\n')
            kept += c;
    return kept;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string text = engine::scriptTextFromBytes(bytes);

    expectEqual("script text", text, referenceScriptText(bytes));
    expectTrue("an empty file gives an empty text and only an empty file does",
               text.empty() == bytes.empty());
    for (std::size_t cr = text.find('\r'); cr != std::string::npos; cr = text.find('\r', cr + 1))
        expectTrue("every CR in the text is followed by LF",
                   cr + 1 < text.size() && text[cr + 1] == '\n');
    if (!text.empty())
        expectTrue("the text ends in CR LF", text.ends_with("\r\n"));
    expectEqual("bytes other than CR and LF, in order", withoutLineEnds(text),
                withoutLineEnds(bytes));

    // What a run writes is the text and one CR LF; the next run must read exactly that.
    expectEqual("text read again", engine::scriptTextFromBytes(text), text);
    const std::string written = text + "\r\n";
    expectEqual("written file read again", engine::scriptTextFromBytes(written), written);
    return 0;
}
