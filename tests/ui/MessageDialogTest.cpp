#include <gtest/gtest.h>

#include <functional>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include "platform/MessageText.h"
#include "platform/ResultCodes.h"
#include "platform/StringTable.h"
#include "ui/BasicButton.h"
#include "ui/MessageDialog.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace {

// Where a key typed in the dialog goes first: its focused control.
QWidget* KeyTarget(QWidget& dialog) {
    QWidget* focused = dialog.focusWidget();
    return focused != nullptr ? focused : &dialog;
}

// Runs the box modally and acts on it once it is open.
int ShowAndAct(CMessageDialog& box, int kind, int id, std::function<void()> act) {
    QTimer::singleShot(0, &box, std::move(act));
    return box.Show(kind, id);
}

void Type(CMessageDialog& box, Qt::Key key) {
    QTest::keyClick(KeyTarget(box), key);
}

void ClickCloseBox(CMessageDialog& box) {
    QTest::mouseClick(&box, Qt::LeftButton, {}, box.CloseBoxRect().center());
}

TEST(MessageDialogTest, ConfirmAnswersPerKeyAndButton) {
    struct Case {
        const char* name;
        std::function<void(CMessageDialog&)> act;
        int result;
    };
    const Case cases[] = {
        {"enter", [](CMessageDialog& b) { Type(b, Qt::Key_Return); }, CBasicDialog::kYes},
        {"keypad enter", [](CMessageDialog& b) { Type(b, Qt::Key_Enter); }, CBasicDialog::kYes},
        {"escape", [](CMessageDialog& b) { Type(b, Qt::Key_Escape); }, CBasicDialog::kNo},
        {"click yes",
         [](CMessageDialog& b) {
             QTest::mouseClick(b.Button(1), Qt::LeftButton, {}, {5, 5});
         },
         CBasicDialog::kYes},
        {"click no",
         [](CMessageDialog& b) {
             QTest::mouseClick(b.Button(2), Qt::LeftButton, {}, {5, 5});
         },
         CBasicDialog::kNo},
        {"close box", [](CMessageDialog& b) { ClickCloseBox(b); }, CBasicDialog::kClose},
    };
    for (const int kind : {CMessageDialog::kConfirm, CMessageDialog::kRequest}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " kind " + std::to_string(kind));
            CMessageDialog box(nullptr);
            const int result = ShowAndAct(box, kind, 60020, [&] {
                EXPECT_TRUE(box.IsModal());
                ASSERT_NE(box.Button(1), nullptr);
                EXPECT_EQ(box.Button(1)->Text(), QStringLiteral("yes"));
                EXPECT_EQ(box.Button(2)->Text(), QStringLiteral("no"));
                EXPECT_EQ(box.Button(3), nullptr);
                c.act(box);
            });
            EXPECT_EQ(result, c.result);
            EXPECT_FALSE(box.isVisible());
            EXPECT_EQ(box.windowTitle(), kind == CMessageDialog::kConfirm
                                             ? QStringLiteral("Please confirm")
                                             : QStringLiteral("Request"));
        }
    }
}

TEST(MessageDialogTest, NoticesHaveNoButtonsAndOnlyTheCloseBoxEndsThem) {
    const char* titles[] = {"Information", "Warning", "Error"};
    for (int kind = CMessageDialog::kInformation; kind <= CMessageDialog::kError; ++kind) {
        SCOPED_TRACE(kind);
        CMessageDialog box(nullptr);
        bool stillOpenAfterKeys = false;
        const int result = ShowAndAct(box, kind, 60001, [&] {
            EXPECT_EQ(box.Button(1), nullptr);
            Type(box, Qt::Key_Return);
            Type(box, Qt::Key_Escape);
            QApplication::processEvents();
            stillOpenAfterKeys = box.isVisible() && box.IsModal();
            ClickCloseBox(box);
        });
        EXPECT_TRUE(stillOpenAfterKeys);
        EXPECT_EQ(result, CBasicDialog::kClose);
        EXPECT_EQ(box.windowTitle(), QString::fromLatin1(titles[kind - 1]));
        EXPECT_EQ(box.Message(), QStringLiteral("settings stored"));
    }
}

TEST(MessageDialogTest, CloseBoxReleasedOutsideDoesNothing) {
    CMessageDialog box(nullptr);
    bool open = false;
    const int result = ShowAndAct(box, CMessageDialog::kInformation, 60001, [&] {
        const QPoint inBox = box.CloseBoxRect().center();
        QTest::mousePress(&box, Qt::LeftButton, {}, inBox);
        QTest::mouseRelease(&box, Qt::LeftButton, {}, box.ClientRect().center());
        QApplication::processEvents();
        open = box.IsModal();
        ClickCloseBox(box);
    });
    EXPECT_TRUE(open);
    EXPECT_EQ(result, CBasicDialog::kClose);
}

TEST(MessageDialogTest, DesktopCloseRequestActsAsTheCloseBox) {
    CMessageDialog box(nullptr);
    const int result = ShowAndAct(box, CMessageDialog::kError, 60001, [&] { box.close(); });
    EXPECT_EQ(result, CBasicDialog::kClose);
}

TEST(MessageDialogTest, TabMovesBetweenTheButtonsAndEnterStillMeansYes) {
    CMessageDialog box(nullptr);
    QWidget* first = nullptr;
    QWidget* second = nullptr;
    QWidget* third = nullptr;
    const int result = ShowAndAct(box, CMessageDialog::kConfirm, 60020, [&] {
        box.Button(1)->setFocus();
        first = box.focusWidget();
        QTest::keyClick(KeyTarget(box), Qt::Key_Tab);
        second = box.focusWidget();
        QTest::keyClick(KeyTarget(box), Qt::Key_Tab);
        third = box.focusWidget();
        Type(box, Qt::Key_Return);
    });
    EXPECT_EQ(first, box.Button(1));
    EXPECT_EQ(second, box.Button(2));
    EXPECT_EQ(third, box.Button(1));  // wraps
    EXPECT_EQ(result, CBasicDialog::kYes);
}

TEST(MessageDialogTest, SizeFollowsTheTextAndTheDialogUnit) {
    const int line = LineHeight();
    const int unit = DialogUnit();
    const int minimum = static_cast<int>(line * 4.6 * 2);
    struct Case {
        int kind;
        QString text;
    };
    const Case cases[] = {
        {CMessageDialog::kInformation, QStringLiteral("ok")},
        {CMessageDialog::kConfirm, QString(120, u'w')},
    };
    for (const Case& c : cases) {
        CMessageDialog box(nullptr);
        QSize size;
        QRect client;
        QTimer::singleShot(0, &box, [&] {
            size = box.size();
            client = box.ClientRect();
            ClickCloseBox(box);
        });
        box.ShowText(c.kind, c.text);
        const int textWidth = QFontMetrics(box.font()).horizontalAdvance(c.text);
        const int clientWidth = std::max(minimum, textWidth + 2 * line);
        const bool asks = c.kind == CMessageDialog::kConfirm;
        EXPECT_EQ(size.width(), clientWidth + 2 * CBasicDialog::kFrameWidth + 4);
        EXPECT_EQ(size.height(), (asks ? unit + unit / 2 : unit) + 2 * CBasicDialog::kFrameWidth +
                                     CBasicDialog::CaptionHeight() + 6);
        EXPECT_EQ(client.width(), clientWidth);
        EXPECT_EQ(client.height(), asks ? unit : unit + 2);
    }
}

TEST(MessageDialogTest, OpensCentredEvenAfterBeingMoved) {
    QWidget owner;
    owner.setGeometry(100, 100, 800, 600);
    owner.show();
    CMessageDialog box(&owner);
    QPoint firstCentre;
    ShowAndAct(box, CMessageDialog::kInformation, 60001, [&] {
        firstCentre = box.frameGeometry().center();
        box.move(box.pos() + QPoint(50, 40));
        ClickCloseBox(box);
    });
    QPoint secondCentre;
    ShowAndAct(box, CMessageDialog::kInformation, 60001, [&] {
        secondCentre = box.frameGeometry().center();
        ClickCloseBox(box);
    });
    EXPECT_LE((firstCentre - owner.frameGeometry().center()).manhattanLength(), 2);
    EXPECT_EQ(secondCentre, firstCentre);
}

TEST(MessageTextTest, NumbersAboveTheShortRangeComeFromTheStringTable) {
    EXPECT_EQ(MessageText(60020), StringText(60020));
    EXPECT_EQ(MessageText(60020), QStringLiteral("clear the current scene ?"));
    EXPECT_TRUE(MessageText(32768).isEmpty());  // no such entry
}

TEST(MessageTextTest, SystemCodesGiveTheSystemTextOnOneLine) {
    EXPECT_EQ(MessageText(5), QStringLiteral("Input/output error"));
    EXPECT_EQ(MessageText(ENOSPC), QStringLiteral("No space left on device"));
    EXPECT_TRUE(MessageText(kFail).isEmpty());
    EXPECT_TRUE(MessageText(0).isEmpty());
    EXPECT_TRUE(MessageText(9999).isEmpty());  // no system text: an empty box

    EXPECT_EQ(OneLineSystemText(QStringLiteral("Access is denied.\r\n")),
              QStringLiteral("Access is denied"));
    EXPECT_EQ(OneLineSystemText(QStringLiteral("first line\r\nsecond line.\r\n")),
              QStringLiteral("first line second line"));
    EXPECT_EQ(OneLineSystemText(QStringLiteral("v1.2 ready")), QStringLiteral("v1.2 ready"));
}

}  // namespace
}  // namespace kolvane
