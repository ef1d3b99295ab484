#include "FontCatalogue.h"

#include <QFont>
#include <QFontDatabase>

#include <algorithm>

namespace {

// Song/Ming (serif) faces with full Chinese coverage, best first.
const char* const kSongFaces[] = {
    "AR PL UMing CN",   "AR PL UMing TW",    "AR PL UMing HK",      "AR PL New Sung",
    "AR PL SungtiL GB", "Noto Serif CJK SC", "Source Han Serif SC", "Noto Serif SC",
};
// Sans faces with full Chinese coverage, best first.
const char* const kSansFaces[] = {
    "WenQuanYi Zen Hei",  "WenQuanYi Micro Hei", "Noto Sans CJK SC",
    "Source Han Sans SC", "Noto Sans SC",        "Droid Sans Fallback",
};

const char* const kSongAliases[] = {"宋体",     "SimSun",      "新宋体", "NSimSun", "仿宋",
                                    "FangSong", "仿宋_GB2312", "楷体",   "KaiTi",   "楷体_GB2312"};
const char* const kSansAliases[] = {"黑体", "SimHei", "微软雅黑", "Microsoft YaHei",
                                    "幼圆", "YouYuan"};

template <size_t N> bool IsAlias(const QString& face, const char* const (&aliases)[N]) {
    return std::any_of(std::begin(aliases), std::end(aliases), [&](const char* alias) {
        return face.compare(QString::fromUtf8(alias), Qt::CaseInsensitive) == 0;
    });
}

QString FindInstalled(const QStringList& installed, const QString& face) {
    for (const QString& family : installed) {
        if (family.compare(face, Qt::CaseInsensitive) == 0) {
            return family;
        }
    }
    return {};
}

} // namespace

namespace FontCatalogue {

QStringList InstalledFaces() {
    QStringList faces;
    for (const QString& family : QFontDatabase::families()) {
        if (!family.startsWith(QLatin1Char('@'))) {
            faces.append(family);
        }
    }
    const QStringList song = ChineseFaces(false);
    const QStringList sans = ChineseFaces(true);
    for (const auto& [alias, available] : {std::pair{QStringLiteral("宋体"), !song.isEmpty()},
                                           std::pair{QStringLiteral("黑体"), !sans.isEmpty()}}) {
        if (available && FindInstalled(faces, alias).isEmpty()) {
            faces.append(alias);
        }
    }
    faces.sort(Qt::CaseInsensitive);
    return faces;
}

void InstallSubstitutions() {
    const QStringList installed = QFontDatabase::families();
    const QStringList song = ChineseFaces(false);
    const QStringList sans = ChineseFaces(true);
    const auto substitute = [&installed](const auto& aliases, const QStringList& faces) {
        if (faces.isEmpty()) {
            return;
        }
        for (const char* alias : aliases) {
            const QString name = QString::fromUtf8(alias);
            // An installed face of that name draws as itself.
            if (FindInstalled(installed, name).isEmpty() && QFont::substitutes(name) != faces) {
                QFont::removeSubstitutions(name);
                QFont::insertSubstitutions(name, faces);
            }
        }
    };
    substitute(kSongAliases, song);
    substitute(kSansAliases, sans);
}

QStringList ChineseFaces(bool sansFirst) {
    const QStringList installed = QFontDatabase::families();
    QStringList song;
    QStringList sans;
    for (const char* face : kSongFaces) {
        const QString found = FindInstalled(installed, QString::fromUtf8(face));
        if (!found.isEmpty()) {
            song.append(found);
        }
    }
    for (const char* face : kSansFaces) {
        const QString found = FindInstalled(installed, QString::fromUtf8(face));
        if (!found.isEmpty()) {
            sans.append(found);
        }
    }
    return sansFirst ? sans + song : song + sans;
}

QString ResolveFace(const QString& face) {
    const QString trimmed = face.trimmed();
    if (!trimmed.isEmpty()) {
        const QString installed = FindInstalled(QFontDatabase::families(), trimmed);
        if (!installed.isEmpty()) {
            return installed;
        }
    }
    const QStringList chinese = ChineseFaces(IsAlias(trimmed, kSansAliases));
    if (!chinese.isEmpty()) {
        return chinese.first();
    }
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

} // namespace FontCatalogue
