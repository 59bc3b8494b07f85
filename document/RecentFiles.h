// SPDX-License-Identifier: MIT
// The File menu's list of recently opened or saved documents, newest first.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace tavolin::document {

class RecentFiles {
public:
    static constexpr size_t kMax = 8;

    // Takes a stored list: empty and repeated entries dropped, at most kMax kept.
    void assign(const std::vector<std::string>& paths) {
        m_paths.clear();
        for (auto it = paths.rbegin(); it != paths.rend(); ++it) add(*it);
    }
    // Moves `path` to the front.
    void add(const std::string& path) {
        if (path.empty()) return;
        remove(path);
        m_paths.insert(m_paths.begin(), path);
        if (m_paths.size() > kMax) m_paths.resize(kMax);
    }
    void remove(const std::string& path) { std::erase(m_paths, path); }
    const std::vector<std::string>& paths() const noexcept { return m_paths; }

private:
    std::vector<std::string> m_paths;
};

}  // namespace tavolin::document
