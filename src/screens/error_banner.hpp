#pragma once

#include "session/link_phase.hpp"
#include "session/primary_intent.hpp"

#include <QAbstractButton>
#include <QString>
#include <QWidget>

#include <optional>

class QLabel;

namespace tessaron {

class TessaronSession;
class TessaronIconButton;

// "Try again" repeats a connect the session ended itself, and only while a connect is what the button
// would do now.
bool bannerOffersRetry(const std::optional<QString>& lastError, TessaronLinkPhase phase,
                       TessaronPrimaryIntent intent);

// A small button with a one-point outline, for actions beside a message.
class TessaronOutlinedButton final : public QAbstractButton {
    Q_OBJECT
public:
    explicit TessaronOutlinedButton(QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The home column's banner: the session's one user message, with "Try again", "Use <node>" and dismiss
// beside it.
class TessaronInlineErrorBanner final : public QWidget {
    Q_OBJECT
public:
    explicit TessaronInlineErrorBanner(TessaronSession& session, QWidget* parent = nullptr);
    void refresh();
    // The first action offered beside the message that can take the focus: "Try again", "Use <node>", or
    // else dismiss.
    QWidget* firstAction() const;

Q_SIGNALS:
    // The message went while one of its actions had the focus: Qt has handed the focus on to whatever
    // follows in the window, which is rarely where the person was.
    void wentWithTheFocus();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitSuggestion();
    bool holdsTheFocus() const;

    TessaronSession& session_;
    QLabel* message_;
    TessaronOutlinedButton* tryAgain_;
    TessaronOutlinedButton* useSuggested_;
    TessaronIconButton* dismiss_;
};

// The settings form's banner: the session's message over a plain "Dismiss", which a long message pushes
// down.
class TessaronErrorBanner final : public QWidget {
    Q_OBJECT
public:
    explicit TessaronErrorBanner(TessaronSession& session, QWidget* parent = nullptr);

private:
    void refresh();

    TessaronSession& session_;
    QLabel* message_;
};

} // namespace tessaron
