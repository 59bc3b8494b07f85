// Compile errors as ranges of tab text.
#include "editor/DocumentFeatures.h"

#include <cstdio>

#include "compiler/ErrorTable.h"
#include "compiler/UiText.h"
#include "editor/CaretMapping.h"
#include "editor/LiveCheck.h"

namespace tavolin::editor {

std::vector<CompileProblem> compileProblems(const output::SongMap& map, const TabTexts& tabs) {
    std::vector<CompileProblem> out;
    for (const CompileResult& r : map.errors.empty() && map.result.code != 0 ? std::vector<CompileResult>{map.result} : map.errors) {
        const std::optional<ErrorPlace> place = placeCompileError(r, tabs);
        if (!place) continue;
        CompileProblem p;
        if (place->tab >= 0) {
            // The window underlines editor units; the same command in bytes.
            const std::string_view bytes = tabs[static_cast<size_t>(place->tab)];
            p.range = {place->tab, static_cast<uint32_t>(unitToByteOffset(bytes, place->underlineStart)),
                       static_cast<uint32_t>(unitToByteOffset(bytes, place->underlineEnd))};
        }
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<uint32_t>(r.code));
        p.code = code;
        p.message = uiText(errorMessage(r.code));
        if (p.message.empty()) p.message = p.code;  // a code the table has no text for
        out.push_back(std::move(p));
    }
    return out;
}

}  // namespace tavolin::editor
