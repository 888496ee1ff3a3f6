#pragma once

#include "support/qt_printers.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QDBusVariant>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace tessaron::testing {

// Reads a view as a user would: what is visible, by identifier or by its words.
template <class Widget = QWidget> Widget* byId(QWidget& root, const QString& id) {
    return root.findChild<Widget*>(id);
}
inline bool visible(QWidget& root, const QString& id) {
    QWidget* widget = byId(root, id);
    return widget && widget->isVisibleTo(&root);
}
inline QStringList sorted(QStringList texts) {
    texts.sort();
    return texts;
}
// The visible buttons' words, a disabled button's in brackets.
inline QStringList buttonTexts(QWidget& root) {
    QStringList texts;
    for (auto* button : root.findChildren<QAbstractButton*>())
        if (button->isVisibleTo(&root))
            texts.append(button->isEnabled() ? button->text() : u'[' + button->text() + u']');
    return sorted(texts);
}
inline QStringList visibleTexts(QWidget& root) {
    QStringList texts = buttonTexts(root);
    for (auto* label : root.findChildren<QLabel*>())
        if (label->isVisibleTo(&root) && !label->text().isEmpty())
            texts.append(label->text());
    for (auto* text : root.findChildren<QPlainTextEdit*>())
        if (text->isVisibleTo(&root) && !text->toPlainText().isEmpty())
            texts.append(text->toPlainText());
    return sorted(texts);
}
// The visible button, or other widget with a text, that shows `text`.
template <class Widget = QAbstractButton> Widget* showing(QWidget& root, const QString& text) {
    for (auto* widget : root.findChildren<Widget*>())
        if (widget->text() == text && widget->isVisibleTo(&root))
            return widget;
    ADD_FAILURE() << "nothing visible shows " << text.toStdString();
    return nullptr;
}
// The visible selectable text that shows `text` whole.
inline QPlainTextEdit* showingText(QWidget& root, const QString& text) {
    for (auto* widget : root.findChildren<QPlainTextEdit*>())
        if (widget->toPlainText() == text && widget->isVisibleTo(&root))
            return widget;
    ADD_FAILURE() << "no visible text shows " << text.toStdString();
    return nullptr;
}
inline void click(QAbstractButton* button) {
    ASSERT_NE(button, nullptr);
    // Rows that just reappeared get their geometry first.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QTest::mouseClick(button, Qt::LeftButton);
}
// The open confirmation; answers it with the button of that text.
inline void answer(QWidget& owner, const QString& title, const QString& buttonText) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    auto* box = owner.findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr) << title.toStdString();
    EXPECT_EQ(box->text(), title);
    QAbstractButton* chosen = showing(*box, buttonText);
    ASSERT_NE(chosen, nullptr);
    chosen->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Turns the desktop's reduce-motion setting on or off, as its portal announces a change.
inline void setReduceMotion(QObject& observer, bool reduce) {
    QMetaObject::invokeMethod(
        &observer, "settingChanged", Q_ARG(QString, QStringLiteral("org.gnome.desktop.interface")),
        Q_ARG(QString, QStringLiteral("enable-animations")), Q_ARG(QDBusVariant, QDBusVariant(!reduce)));
}

// What a real decoder reads from the picture.
inline QString decodeQR(const QImage& image) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("code.png"));
    EXPECT_TRUE(image.save(path));
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("--raw"), QStringLiteral("-q"), path});
    EXPECT_TRUE(zbar.waitForFinished(20000)) << "zbarimg (zbar-tools) is needed";
    const QString text = QString::fromUtf8(zbar.readAllStandardOutput());
    return text.endsWith(u'\n') ? text.chopped(1) : text;
}

} // namespace tessaron::testing
