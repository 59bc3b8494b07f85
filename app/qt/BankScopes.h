// SPDX-License-Identifier: MIT
// The banks' oscilloscopes and peak meters: five small panes that draw what
// the scope models read from the running stream's rings.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>

#include <QElapsedTimer>
#include <QWidget>

#include "music/BankScope.h"
#include "synth/BankMask.h"

class QTimer;

namespace tavolin::qt {

class BankScopes : public QWidget {
    Q_OBJECT
public:
    // Where the pictures come from: the stream's rings (null: none) and the
    // frame the listener hears (nullopt: nothing, e.g. paused).
    struct Source {
        std::function<std::shared_ptr<const output::BankTapRings>()> rings;
        std::function<std::optional<uint64_t>()> heardFrame;
    };

    explicit BankScopes(Source source, QWidget* parent = nullptr);

    // Starts refreshing at the screen's rate. Once no stream has rings any
    // more (Stop, New, Open, the song's end), the traces go flat and the
    // meters fall to rest; then it stops by itself. Idle, it costs nothing.
    void start();
    // Nothing is heard any more: flat traces, and the meters fall as above.
    void stop();
    bool running() const noexcept;
    // Muted banks are drawn dimmed (their scope still shows what they play).
    void setAudible(BankMask mask);
    const music::BankScope& scope(int bank) const { return m_scopes[static_cast<size_t>(bank)]; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void tick();
    void settle(double now);

    Source m_source;
    QTimer* m_timer;
    QElapsedTimer m_clock;
    std::array<music::BankScope, 5> m_scopes;
    BankMask m_audible = kAllBanks;
};

}  // namespace tavolin::qt
