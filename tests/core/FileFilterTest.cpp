#include "core/Operator.h"

#include <gtest/gtest.h>

// File dialogs show the patterns they are given: a description that already
// names its patterns must not show them twice, and "all files" must not hide
// the files without an extension.
TEST(FileFilter, DescriptionsWithTheirPatternsAreNotDoubled) {
    struct Case {
        const char* filter;
        const char* qt;
    };
    const Case cases[] = {
        {"文本文件(*.txt)|*.txt|所有文件(*.*)|*.*", "文本文件 (*.txt);;所有文件 (*)"},
        {"播放列表|*.lft", "播放列表 (*.lft)"},
        {"字幕文件(*.txt;*.lrc)|*.txt;*.lrc", "字幕文件 (*.txt *.lrc)"},
        {"歌词 (*.lrc) |*.lrc", "歌词 (*.lrc)"},
        // Patterns in the description that differ from the real ones stay
        // part of the description: the dialog must filter by the real ones.
        {"旧格式(*.old)|*.lft", "旧格式(*.old) (*.lft)"},
        {"(*.mp3)|*.mp3", "(*.mp3) (*.mp3)"},
        {"单独的描述", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToQtFileFilter(QString::fromUtf8(c.filter)), QString::fromUtf8(c.qt)) << c.filter;
    }
}
