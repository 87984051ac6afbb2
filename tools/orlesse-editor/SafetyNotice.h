#pragma once

#include <QString>

class QSettings;
class QWidget;

// The notice about photosensitive epilepsy that every user acknowledges once, before the
// editor first plays anything. The README, the manual pages and the metainfo carry the same
// text.
namespace SafetyNotice {

QString title();
// The notice, as plain text.
QString text();

// Whether the user of these settings has acknowledged the notice.
bool acknowledged(const QSettings& settings);
// Shows the notice as a modal dialog when the user has not acknowledged it yet, and records
// the acknowledgement. Returns false when the user closed it without acknowledging (the editor
// then asks again at the next start).
bool showOnFirstStart(QSettings& settings, QWidget* parent);

}  // namespace SafetyNotice
