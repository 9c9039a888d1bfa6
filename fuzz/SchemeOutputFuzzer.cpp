// Fuzzes the reading of the scheme query's standard output. The first byte of the input chooses the
// sizes of the chunks the output arrives in, since a pipe hands output over in pieces of any size; the
// second whether, and how often, the rest repeats to make the output. The result must not depend on the
// chunking, and must be what reading the whole output line by line gives.
#include "FuzzCheck.h"

#include "execution/SchemeOutputReader.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

// The reading rules, written out plainly over the whole output.
SchemeInfo Expected(std::string_view output) {
    SchemeInfo scheme;
    auto read = [&scheme](std::string_view line) {
        if (!scheme.code.empty() && !scheme.name.empty()) {
            return;
        }
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        // A whole-line match of "^CODE:(.*)$": "." takes every character but the line terminators
        // of ECMAScript (LF, CR, U+2028 and U+2029, the last two never single bytes).
        auto value = [&line](std::string_view prefix) -> std::optional<std::string> {
            if (!line.starts_with(prefix) || line.find('\r') != std::string_view::npos) {
                return std::nullopt;
            }
            return std::string(line.substr(prefix.size()));
        };
        if (scheme.code.empty()) {
            if (auto code = value("CODE:")) {
                scheme.code = *code;
                return;
            }
        }
        if (scheme.name.empty()) {
            if (auto name = value("NAME:")) {
                scheme.name = *name;
            }
        }
    };
    for (;;) {
        const std::size_t end = output.find('\n');
        if (end == std::string_view::npos) {
            if (!output.empty()) {
                read(output);
            }
            break;
        }
        read(output.substr(0, end));
        output.remove_prefix(end + 1);
    }
    return scheme;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const unsigned chunking = data[0];
    // With a second byte of 0xF0 or more the rest is repeated 2 to 2^15 times (up to 256 KiB), so that
    // the long lines a tool can print are reached too; below that it is the output once, which keeps
    // most runs fast.
    const std::string_view once = Bytes(data + 2, size - 2);
    std::string repeated;
    const std::size_t times = data[1] < 0xF0 ? 1 : std::size_t{2} << (data[1] & 15U);
    for (std::size_t i = 0; i < times && repeated.size() + once.size() <= (256U << 10); ++i) {
        repeated += once;
    }
    const std::string_view output = repeated;
    // Long outputs arrive in longer chunks, as from a pipe.
    const std::size_t scale = 1 + output.size() / 4096;

    SchemeOutputReader whole;
    whole.Feed(output);
    whole.Finish();

    // Chunks of 1 to 16 bytes (times the scale), their sizes taken in turn from the first byte's bits.
    SchemeOutputReader pieces;
    std::string_view rest = output;
    for (unsigned turn = 0; !rest.empty(); ++turn) {
        const std::size_t chunk =
            std::min<std::size_t>(rest.size(), scale * (1 + ((chunking >> (turn % 5)) & 15U)));
        pieces.Feed(rest.substr(0, chunk));
        rest.remove_prefix(chunk);
    }
    pieces.Finish();

    const SchemeInfo expected = Expected(output);
    if (!(whole.Result() == expected)) {
        std::fprintf(stderr, "read code [%s] name [%s], expected code [%s] name [%s]\n",
                     whole.Result().code.c_str(), whole.Result().name.c_str(), expected.code.c_str(),
                     expected.name.c_str());
    }
    FuzzCheck(whole.Result() == expected, "the output is read by its rules");
    FuzzCheck(pieces.Result() == whole.Result(), "the result does not depend on the chunks");
    return 0;
}
