// The [Outputs] section of Config.ini: its own keys, the rest of the file kept.

#include "outputs/OutputSettings.h"

#include "core/TextFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
}

} // namespace

TEST(OutputSettingsFileTest, MissingFileAndSectionGiveNoReceivers) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Config.ini"));
    EXPECT_EQ(LoadOutputSettings(path), OutputSettings());
    WriteAll(path, "[Setting]\r\nAlign=1\r\n");
    EXPECT_FALSE(LoadOutputSettings(path).HasDdp());
}

TEST(OutputSettingsFileTest, SavedSettingsReadBackAndOtherSectionsStay) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Config.ini"));
    const QByteArray older = "[Setting]\r\nAlign=1\r\n[Link]\r\nTarget=127.0.0.1\r\n";
    WriteAll(path, older);
    OutputSettings settings;
    settings.screen(ScreenId::h).ddp = {DdpReceiver{0x7F000001u, 4048},
                                        DdpReceiver{0x7F000002u, 5000}};
    settings.screen(ScreenId::s).pixels = {true, 40};
    settings.screen(ScreenId::x).ddp = {DdpReceiver{0x7F000003u, 4048}};
    ASSERT_TRUE(SaveOutputSettings(path, settings));
    EXPECT_EQ(LoadOutputSettings(path), settings);
    const QByteArray saved = ReadAll(path);
    EXPECT_TRUE(saved.startsWith(older)) << saved.toStdString();
    EXPECT_TRUE(saved.contains("DdpH=127.0.0.1,127.0.0.2:5000")) << saved.toStdString();
}

TEST(OutputSettingsFileTest, BadValuesAreLeftOutOrKeepTheirDefaults) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Config.ini"));
    WriteAll(path, "[Outputs]\r\nDdpH=127.0.0.1, wall, 300.1.1.1,127.0.0.1:4050\r\n"
                   "DdpBrightnessH=bright\r\nDdpBrightnessS=250\r\nDdpSerpentineX=1\r\n");
    const OutputSettings settings = LoadOutputSettings(path);
    EXPECT_EQ(settings.screen(ScreenId::h).ddp,
              (std::vector<DdpReceiver>{{0x7F000001u, 4048}, {0x7F000001u, 4050}}));
    EXPECT_EQ(settings.screen(ScreenId::h).pixels.brightness, 100);
    EXPECT_EQ(settings.screen(ScreenId::s).pixels.brightness, 100);
    EXPECT_TRUE(settings.screen(ScreenId::x).pixels.serpentine);
}
