#include "account/system_device_swap_presenter.hpp"

#include <QApplication>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace tessaron {
namespace {

using Presenter = TessaronSystemDeviceSwapPresenter;

QMessageBox* shownBox() {
    for (QWidget* widget : QApplication::allWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            return box;
    }
    return nullptr;
}

QPushButton* button(QMessageBox* box, const QString& text) {
    for (QAbstractButton* candidate : box->buttons()) {
        if (candidate->text() == text)
            return qobject_cast<QPushButton*>(candidate);
    }
    return nullptr;
}

TEST(DeviceSwapTextTest, TakenTextNamesTheHolderOrItsKind) {
    struct Case {
        TessaronDeviceSlot slot;
        std::optional<QString> name;
        QString text;
    };
    const Case cases[] = {
        {TessaronDeviceSlot::computer, QStringLiteral("Ada's PC"),
         QStringLiteral(
             "Tessaron is already set up on \u201cAda's PC\u201d. Switching signs that device out. "
             "You can switch once every 30 days.")},
        // A name that looks like a placeholder stays as it is.
        {TessaronDeviceSlot::phone, QStringLiteral("%1 %2"),
         QStringLiteral("Tessaron is already set up on \u201c%1 %2\u201d. Switching signs that device out. "
                        "You can switch once every 30 days.")},
        {TessaronDeviceSlot::computer, QString(),
         QStringLiteral("Tessaron is already set up on another Mac. Switching signs that Mac out. You can "
                        "switch once every 30 days.")},
        {TessaronDeviceSlot::phone, std::nullopt,
         QStringLiteral("Tessaron is already set up on another iPhone or iPad. Switching signs that device "
                        "out. You can switch once every 30 days.")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Presenter::takenText(c.slot, c.name), c.text) << c.text.toStdString();
}

class DeviceSwapDialogTest : public ::testing::Test {
protected:
    void TearDown() override {
        while (QMessageBox* box = shownBox())
            delete box;
    }

    // Asks for the confirmation; the answer lands in the returned value once it arrives.
    std::shared_ptr<std::optional<bool>> confirm() {
        auto answer = std::make_shared<std::optional<bool>>();
        presenter.confirmSwap(TessaronDeviceSlot::computer, QStringLiteral("Work laptop"),
                              [answer](bool confirmed) {
                                  EXPECT_FALSE(answer->has_value()) << "answered twice";
                                  *answer = confirmed;
                              });
        return answer;
    }

    Presenter presenter;
};

TEST_F(DeviceSwapDialogTest, TheAnswerArrivesAfterTheClickAndOnlySwitchingConfirms) {
    QMainWindow window;
    window.setObjectName(QStringLiteral("main"));
    window.show();
    for (const auto& [label, confirmed] :
         {std::pair{"Switch to This Device", true}, std::pair{"Cancel", false}}) {
        SCOPED_TRACE(label);
        const auto answer = confirm();
        QMessageBox* box = shownBox();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->parentWidget(), &window);
        EXPECT_EQ(box->windowModality(), Qt::WindowModal);
        EXPECT_EQ(box->text(), QStringLiteral("Use Tessaron on this device?"));
        EXPECT_EQ(box->informativeText(),
                  Presenter::takenText(TessaronDeviceSlot::computer, QStringLiteral("Work laptop")));
        ASSERT_EQ(box->buttons().size(), 2);
        EXPECT_EQ(box->defaultButton(), button(box, QStringLiteral("Switch to This Device")));

        QTest::mouseClick(button(box, QString::fromUtf8(label)), Qt::LeftButton);
        EXPECT_FALSE(answer->has_value()) << "answered inside the click";
        QCoreApplication::processEvents();
        EXPECT_EQ(*answer, confirmed);
    }
}

TEST_F(DeviceSwapDialogTest, EscapeAndAWindowClosedUnderTheDialogDecline) {
    auto window = std::make_unique<QMainWindow>();
    window->setObjectName(QStringLiteral("main"));
    window->show();

    const auto escaped = confirm();
    QTest::keyClick(shownBox(), Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_EQ(*escaped, false);

    const auto orphaned = confirm();
    window.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(*orphaned, false);
}

TEST_F(DeviceSwapDialogTest, WithoutAWindowTheDialogComesUpLaterApplicationModal) {
    const auto answer = confirm();
    EXPECT_EQ(shownBox(), nullptr) << "shown inside the request";
    QCoreApplication::processEvents();
    QMessageBox* box = shownBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->parentWidget(), nullptr);
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);

    QTest::mouseClick(button(box, QStringLiteral("Switch to This Device")), Qt::LeftButton);
    EXPECT_FALSE(answer->has_value());
    QCoreApplication::processEvents();
    EXPECT_EQ(*answer, true);
}

TEST_F(DeviceSwapDialogTest, TheCooldownNoticeShowsTheMessageAndReportsItsDismissal) {
    QMainWindow window;
    window.setObjectName(QStringLiteral("main"));
    window.show();
    int dismissed = 0;
    presenter.showCooldown(QStringLiteral("Next switch: soon."), [&dismissed] { ++dismissed; });
    QMessageBox* box = shownBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("Tessaron"));
    EXPECT_EQ(box->informativeText(), QStringLiteral("Next switch: soon."));
    ASSERT_EQ(box->buttons().size(), 1);

    QTest::mouseClick(button(box, QStringLiteral("OK")), Qt::LeftButton);
    EXPECT_EQ(dismissed, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(dismissed, 1);
}

} // namespace
} // namespace tessaron
