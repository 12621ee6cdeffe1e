#pragma once

#include "images/StripJournal.h"

#include "window/ReasonText.h"

#include <QObject>
#include <QString>

#include <memory>

namespace vistrel {

class StripView;

// Keeps the strip's journal in step with the strip: every change of the strip (a still appended,
// deleted, mirrored, rotated, or saved) is handed to the journal, which writes it off this thread.
// Window thread only.
class StripKeeper : public QObject
{
    Q_OBJECT

public:
    StripKeeper(StripView& strip, std::unique_ptr<StripJournal> journal, QObject* parent = nullptr);
    ~StripKeeper() override;

    // Puts the stills a previous run left back in the strip, in their order and orientation, and
    // returns the words that tell the user so, in the language of the moment (empty when there was nothing).
    Wording Restore();
    // The user chose to discard the strip: the journal goes with it.
    void Discard();
    // The window closes with the strip unsaved and nobody to ask: the journal keeps it for the next start.
    void KeepForNextStart();

    StripJournal& Journal() { return *journal; }

private:
    void FollowStrip();

    StripView& strip;
    std::unique_ptr<StripJournal> journal;
    bool following = true;
};

// The per-user folder that holds the journal.
QString StripJournalFolder();

} // namespace vistrel
