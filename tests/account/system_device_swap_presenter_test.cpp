#include "account/system_device_swap_presenter.hpp"

#include <QApplication>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

namespace tessaron {
namespace {

using Presenter = TessaronSystemDeviceSwapPresenter;

QMessageBox* shownBox() {
    for (QWidget* widget : QApplication::topLevelWidgets() + QApplication::allWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            return box;
    }
    return nullptr;
}

TEST(DeviceSwapTextTest, TakenTextNamesTheHolderInTypographicQuotesOrItsKind) {
    EXPECT_EQ(
        Presenter::takenText(TessaronDeviceSlot::phone, QStringLiteral("%1 Pad")),
        QStringLiteral("Tessaron is already set up on \u201c%1 Pad\u201d. Switching signs that device out. "
                       "You can switch once every 30 days."));
    EXPECT_EQ(
        Presenter::takenText(TessaronDeviceSlot::computer, QString()),
        QStringLiteral("Tessaron is already set up on another Mac. Switching signs that Mac out. You can "
                       "switch once every 30 days."));
}

TEST(DeviceSwapDialogTest, TheAnswerArrivesOnceAfterTheClickAndOnlySwitchingConfirms) {
    // Whether a main window is up, the button clicked (none: the window closes under the dialog), the answer.
    const std::tuple<bool, const char*, bool> cases[] = {{true, "Switch to This Device", true},
                                                         {true, "Cancel", false},
                                                         {false, "Switch to This Device", true},
                                                         {true, nullptr, false}};
    Presenter presenter;
    for (const auto& [onWindow, click, confirmed] : cases) {
        SCOPED_TRACE(std::string(click ? click : "closed") + (onWindow ? " on the main window" : " alone"));
        std::optional<QMainWindow> window;
        if (onWindow) {
            window.emplace().setObjectName(QStringLiteral("main"));
            window->show();
        }
        QList<bool> answers;
        presenter.confirmSwap(TessaronDeviceSlot::computer, QStringLiteral("Work laptop"),
                              [&answers](bool answer) { answers.append(answer); });
        EXPECT_EQ(shownBox() != nullptr, onWindow) << "an application-modal box waits for a queued call";
        QCoreApplication::processEvents();
        QMessageBox* box = shownBox();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->parentWidget(), onWindow ? &*window : nullptr);
        EXPECT_EQ(box->windowModality(), onWindow ? Qt::WindowModal : Qt::ApplicationModal);
        EXPECT_EQ(box->text(), QStringLiteral("Use Tessaron on this device?"));
        EXPECT_EQ(box->defaultButton()->text(), QStringLiteral("Switch to This Device"));

        for (QAbstractButton* button : box->buttons())
            if (click && button->text() == QString::fromUtf8(click))
                QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(answers.isEmpty()) << "answered inside the click";
        window.reset();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(answers, QList<bool>{confirmed});
    }
}

} // namespace
} // namespace tessaron
