// SPDX-License-Identifier: MIT
// Edit → "キー設定…": every command with its key, each changed by pressing the new key; a key
// another command has is refused by that command's name; "既定に戻す" brings back every key out
// of the box.
#pragma once

#include <optional>

#include <QDialog>

#include "window/KeyMap.h"

class QLabel;
class QTableWidget;

namespace tavolin::qt {

class KeysDialog : public QDialog {
    Q_OBJECT
public:
    KeysDialog(const window::KeyMap& keys, QWidget* parent = nullptr);
    const window::KeyMap& keys() const noexcept { return m_keys; }
    // The row's key as pressed: kept, or refused with the holder named under the table.
    void choose(int row, const QKeySequence& pressed);

    // Runs the dialog modally; nullopt when it is cancelled.
    static std::optional<window::KeyMap> ask(const window::KeyMap& keys, QWidget* parent);

private:
    void showKeys();
    window::KeyMap m_keys;
    QTableWidget* m_table;
    QLabel* m_message;
};

}  // namespace tavolin::qt
