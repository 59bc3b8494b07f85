// SPDX-License-Identifier: MIT
// Compiles MML texts and loads them into a BankSet the way the song builder does.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>

#include "compiler/ParseMml.h"
#include "synth/BankSet.h"

namespace tavolin::test {

// Each bank whose list holds a note gets the default tone table, its list and
// prepare(rate); banks without notes stay empty. Fails the test on a compile
// error.
template <EngineNumType T>
std::unique_ptr<BankSet<T>> compileSong(const std::string& common, const std::array<std::string, kBankCount>& banks,
                                        uint32_t rate = 48000) {
    std::array<std::string_view, kBankCount> views;
    for (size_t i = 0; i < banks.size(); ++i) views[i] = banks[i];
    std::array<EventList<T>, kBankCount> lists;
    const CompileResult r = CompileBanks<T>(common, views, -1, 0, lists);
    EXPECT_EQ(r.code, 0) << "bank " << r.bank << " position " << r.position;
    auto set = std::make_unique<BankSet<T>>();
    for (int b = 0; b < kBankCount; ++b) {
        if (lists[static_cast<size_t>(b)].empty()) continue;
        auto& p = set->player(b);
        p.loadToneTable(defaultToneTable());
        p.events() = lists[static_cast<size_t>(b)];
        p.prepare(rate);
    }
    return set;
}

}  // namespace tavolin::test
