#include "TextEffectApply.h"

#include <QFileInfo>

bool KeepsOwnSettings(const SubtitleDocument& document) {
    return !document.path.isEmpty() && QFileInfo::exists(document.path) &&
           document.path.endsWith(QStringLiteral(".lpf"), Qt::CaseInsensitive);
}

IoStatus ApplyTextEffectSettings(SettingsStore& store, DocumentSession& document) {
    const bool project = KeepsOwnSettings(document.document());
    if (!project) {
        store.StoredSettings.Text = store.ActiveSettings.Text;
        store.StoredSettings.Effect = store.ActiveSettings.Effect;
    }
    document.RebuildLineList();
    if (!project) {
        return IoStatus::Ok();
    }
    // The project is written whole with its current lines, so it then matches
    // the file and Save() rightly clears the modified mark.
    return document.Save();
}

IoStatus ApplyScreenSettingsToDocument(SettingsStore& store, DocumentSession& document) {
    const bool project = KeepsOwnSettings(document.document());
    if (!project) {
        store.StoredSettings.Screen = store.ActiveSettings.Screen;
    }
    document.RebuildLineList();
    if (!project) {
        return IoStatus::Ok();
    }
    return document.Save();
}
