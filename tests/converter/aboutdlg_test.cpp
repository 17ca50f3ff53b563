#include "converter/aboutdlg.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "controls/linklabel.h"
#include "res/resource.h"
#include "tests/support/qtapp.h"

TEST(AboutDlg, ShowsTheTemplateTextsAndTheHomePageLink) {
    EnsureQtApplication();
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), "Filmcast Converter 1.0 ");
    EXPECT_EQ(about.size(), QSize(404, 145));
    QStringList texts;
    for (auto* label : about.findChildren<QLabel*>()) texts << label->text();
    EXPECT_TRUE(texts.contains("Filmcast Converter  Version 1.0"));
    EXPECT_TRUE(texts.contains("HomePage:"));
    EXPECT_TRUE(texts.contains(QString("Email:     ") + kSupportEmail));
    CLinkLabel* link = about.HomePageLink();
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->GetUrl(), kHomePageUrl);
    EXPECT_EQ(link->toolTip(), kHomePageUrl);
    EXPECT_TRUE(link->font().underline());
    EXPECT_TRUE(qobject_cast<QPushButton*>(about.GetDlgItem(IDOK))->isDefault());
}
