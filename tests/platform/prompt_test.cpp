#include "platform/prompt.h"

#include <gtest/gtest.h>

TEST(Prompt, NoResponderMeansRealDialogs) {
    prompt::SetResponder({});
    EXPECT_FALSE(prompt::Intercept({}).has_value());
    EXPECT_TRUE(prompt::Recorded().empty());
}

TEST(Prompt, ResponderAnswersAndRequestsAreRecorded) {
    prompt::SetResponder([](const prompt::Request& r) {
        prompt::Answer a;
        a.accepted = r.kind != prompt::Kind::Folder;
        a.path = "/tmp/x.swf";
        return a;
    });
    prompt::Request open{prompt::Kind::OpenFile, "Open", "Flash Files (*.swf)|*.swf|"};
    auto answer = prompt::Intercept(open);
    ASSERT_TRUE(answer.has_value());
    EXPECT_TRUE(answer->accepted);
    EXPECT_EQ(answer->path, "/tmp/x.swf");
    EXPECT_FALSE(prompt::Intercept({prompt::Kind::Folder})->accepted);
    ASSERT_EQ(prompt::Recorded().size(), 2u);
    EXPECT_EQ(prompt::Recorded()[0].text, "Flash Files (*.swf)|*.swf|");
    prompt::SetResponder({});
}
