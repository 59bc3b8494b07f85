// The banks' oscilloscopes and peak meters: five small panes that draw what
// the scope models read from the running stream's rings.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>

#include <QElapsedTimer>
#include <QWidget>

#include "editor/BankScope.h"
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

    // Starts refreshing at the screen's rate; stops by itself once no stream
    // has rings any more. Idle, it costs nothing.
    void start();
    void stop();
    bool running() const noexcept;
    // Muted banks are drawn dimmed (their scope still shows what they play).
    void setAudible(BankMask mask);
    const editor::BankScope& scope(int bank) const { return m_scopes[static_cast<size_t>(bank)]; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void tick();

    Source m_source;
    QTimer* m_timer;
    QElapsedTimer m_clock;
    std::array<editor::BankScope, 5> m_scopes;
    BankMask m_audible = kAllBanks;
};

}  // namespace tavolin::qt
