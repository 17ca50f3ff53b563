#include "controls/linklabel.h"

#include <gtest/gtest.h>

#include <QMouseEvent>

#include "platform/prompt.h"
#include "tests/support/qtapp.h"

namespace {

class LinkLabelTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { EnsureQtApplication(); }
    void SetUp() override {
        prompt::SetResponder([](const prompt::Request&) { return prompt::Answer{}; });
        window.resize(300, 100);
        label = new CLinkLabel(&window);
        label->setText("https://www.example.com/");
        label->setGeometry(10, 10, 250, 30);
        label->Attach();
        label->SetOpener([this](const std::string& target) {
            opened.push_back(target);
            return result;
        });
    }
    void TearDown() override { prompt::SetResponder({}); }

    void Click() {
        const QPoint p(2, 2);
        QMouseEvent press(QEvent::MouseButtonPress, p, label->mapToGlobal(p), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, p, label->mapToGlobal(p), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(label, &press);
        QApplication::sendEvent(label, &release);
    }
    void MoveTo(QPoint p) {
        QMouseEvent move(QEvent::MouseMove, p, label->mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(label, &move);
    }

    QWidget window;
    CLinkLabel* label = nullptr;
    std::vector<std::string> opened;
    int result = 42;
};

TEST_F(LinkLabelTest, TakesItsTextAsTargetAndFitsToIt) {
    EXPECT_EQ(label->GetUrl(), "https://www.example.com/");
    EXPECT_EQ(label->toolTip(), "https://www.example.com/");
    EXPECT_TRUE(label->font().underline());
    EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor);
    const QSize text = label->fontMetrics().size(Qt::TextSingleLine, label->text());
    EXPECT_EQ(label->geometry(), QRect(QPoint(10, 10), text));
    EXPECT_EQ(label->TextColour(), QColor(0, 0, 238));
}

TEST_F(LinkLabelTest, EmptyTextShowsTheTarget) {
    CLinkLabel empty(&window);
    empty.SetUrl("https://www.example.com/a");
    empty.Attach();
    EXPECT_EQ(empty.text(), "https://www.example.com/a");
}

TEST_F(LinkLabelTest, RightAlignedLabelKeepsItsRightEdge) {
    CLinkLabel right(&window);
    right.setAlignment(Qt::AlignRight | Qt::AlignTop);
    right.setText("x");
    right.setGeometry(0, 0, 200, 20);
    right.Attach();
    EXPECT_EQ(right.geometry().right(), 199);
}

TEST_F(LinkLabelTest, SuccessfulOpenMarksVisited) {
    Click();
    EXPECT_EQ(opened, std::vector<std::string>{"https://www.example.com/"});
    EXPECT_TRUE(label->GetVisited());
    EXPECT_EQ(label->TextColour(), QColor(85, 26, 139));
    EXPECT_TRUE(prompt::Recorded().empty());
}

TEST_F(LinkLabelTest, FailedOpenShowsTheShellErrorAndClearsVisited) {
    label->SetVisited(true);
    result = 31;
    Click();
    EXPECT_FALSE(label->GetVisited());
    ASSERT_EQ(prompt::Recorded().size(), 1u);
    EXPECT_EQ(prompt::Recorded()[0].text,
              "Unable to open hyperlink:\n\nThere is no application associated\nwith the given "
              "filename extension.");
    EXPECT_EQ(prompt::Recorded()[0].buttons & 0xF0, 0x30);
}

TEST_F(LinkLabelTest, HoverColoursAndCapture) {
    window.show();
    label->SetColours(RGB(1, 2, 3), RGB(4, 5, 6), RGB(7, 8, 9));
    MoveTo(QPoint(3, 3));
    EXPECT_TRUE(label->IsHovering());
    EXPECT_EQ(label->TextColour(), QColor(7, 8, 9));
    EXPECT_EQ(QWidget::mouseGrabber(), label);
    MoveTo(QPoint(-5, 3));
    EXPECT_FALSE(label->IsHovering());
    EXPECT_EQ(label->TextColour(), QColor(1, 2, 3));
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
}

TEST_F(LinkLabelTest, DefaultHoverColourIsTheHighlight) {
    MoveTo(QPoint(3, 3));
    EXPECT_EQ(label->TextColour(), label->palette().color(QPalette::Highlight));
    MoveTo(QPoint(-5, 3));
}

struct ErrorCase {
    int code;
    const char* text;
};

class LinkLabelErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(LinkLabelErrors, NamesTheShellError) {
    EXPECT_EQ(CLinkLabel::ErrorMessage(GetParam().code).toStdString(),
              std::string("Unable to open hyperlink:\n\n") + GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LinkLabelErrors,
    ::testing::Values(
        ErrorCase{0, "The operating system is out\nof memory or resources."},
        ErrorCase{2, "The specified file was not found."},
        ErrorCase{3, "The specified path was not found."},
        ErrorCase{5, "The operating system denied\naccess to the specified file."},
        ErrorCase{8, "There was not enough memory to complete the operation."},
        ErrorCase{11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
        ErrorCase{26, "A sharing violation occurred. "},
        ErrorCase{27, "The filename association is\nincomplete or invalid."},
        ErrorCase{28, "The DDE transaction could not\nbe completed because the request timed out."},
        ErrorCase{29, "The DDE transaction failed."},
        ErrorCase{30,
                  "The DDE transaction could not\nbe completed because other DDE "
                  "transactions\nwere being processed."},
        ErrorCase{31, "There is no application associated\nwith the given filename extension."},
        ErrorCase{32, "The specified dynamic-link library was not found."},
        ErrorCase{1, "Unknown Error (1) occurred."},
        ErrorCase{-7, "Unknown Error (-7) occurred."}));

}  // namespace
