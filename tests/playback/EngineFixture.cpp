#include "EngineFixture.h"

// Removed with its files when the program exits.
std::unique_ptr<QTemporaryDir> EngineTest::s_dir;
QString EngineTest::s_sine3;
QString EngineTest::s_long225;

void EngineTest::SetUpTestSuite() {
    if (s_dir) {
        return;
    }
    s_dir = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(s_dir->isValid());
    s_sine3 = MakeToneMp3(s_dir->filePath(QStringLiteral("sine3.mp3")), ToneTrack{});
    ToneTrack longTrack;
    longTrack.seconds = 225.0;
    longTrack.lameOptions = {QStringLiteral("-b"), QStringLiteral("32")};
    s_long225 = MakeToneMp3(s_dir->filePath(QStringLiteral("long225.mp3")), longTrack);
}

void EngineTest::TearDownTestSuite() {
    // The files stay for the other suites of the program; the directory goes
    // with the process.
}
