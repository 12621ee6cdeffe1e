#include "window/StripKeeper.h"

#include "app/Localization.h"
#include "window/StripView.h"

#include <QStandardPaths>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace vistrel {

namespace {

constexpr const char* kJournalSubfolder = "/journal";

} // namespace

StripKeeper::StripKeeper(StripView& stripIn, std::unique_ptr<StripJournal> journalIn, QObject* parent)
    : QObject(parent), strip(stripIn), journal(std::move(journalIn))
{
    connect(&strip, &StripView::StripChanged, this, &StripKeeper::FollowStrip);
    FollowStrip();
}

StripKeeper::~StripKeeper() = default;

Wording StripKeeper::Restore()
{
    JournalRestore found = journal->Restore();
    int restored = 0;
    for (CapturedImage& entry : found.entries) {
        if (strip.AppendStill(std::move(entry)) >= 0)
            ++restored;
    }
    // What did not fit (never more than a full strip is journaled) is not kept either.
    FollowStrip();
    if (restored == 0 && found.unreadable == 0)
        return {};
    return [restored, unreadable = found.unreadable] {
        QStringList told;
        if (restored > 0)
            told << LocalizedText(IdsStillsRestored, {QString::number(restored)});
        if (unreadable > 0)
            told << LocalizedText(IdsStillsUnreadable, {QString::number(unreadable)});
        told.removeAll(QString());
        return told.join(QLatin1Char(' '));
    };
}

void StripKeeper::Discard()
{
    following = false;
    journal->Clear();
    journal->Flush();
}

void StripKeeper::KeepForNextStart()
{
    following = false;
    journal->Flush();
}

void StripKeeper::FollowStrip()
{
    if (!following)
        return;
    const ImageStrip& entries = strip.Strip();
    std::vector<std::uint64_t> present;
    for (int i = 0; i < entries.Count(); ++i) {
        const CapturedImage& entry = entries.At(i);
        present.push_back(entry.id);
        if (journal->Holds(entry.id))
            journal->SetOrientation(entry.id, entry.mirrored, entry.rotation);
        else
            journal->Add(entry);
    }
    for (std::uint64_t id : journal->Ids()) {
        if (std::find(present.begin(), present.end(), id) == present.end())
            journal->Remove(id);
    }
}

QString StripJournalFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QLatin1String(kJournalSubfolder);
}

} // namespace vistrel
