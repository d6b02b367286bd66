#pragma once
// Whether the day's data files changed since a moment: what the collection
// window's notice of new notifications rests on. The files are looked at
// from outside only (size and time of the last write, from their folder's
// attributes) and never opened, so a station still writing one is not
// disturbed.

#include <QList>
#include <QString>

#include "platform/platform.h"

namespace absence {

class DataFileWatch {
public:
    enum class Look {
        Same,
        Changed, // a data file appeared, vanished or changed size or time
        Unknown, // nothing is watched, or a read failed
    };

    // Watches nothing: every look answers Unknown.
    DataFileWatch() = default;

    // ChosenDate's ten data files in the working directory as they are now.
    // Each name is matched without regard to case here, once (a folder may
    // be searched); every later look reads the entry found then, or for a
    // file absent now the name as the program spells it.
    static DataFileWatch Start();

    // Ten attribute reads at most and no open. While a file is not there
    // under the name watched, one listing of the folder tells whether it
    // came in another case of its name (as collect would read it). A file
    // that vanished is told one look later, after a look at the folder
    // itself: a folder that is gone is no news of a notification.
    Look LookAgain() noexcept;

private:
    struct Entry {
        QString path;
        QString name; // the file name the program spells
        platform::EntryStamp stamp;
    };
    bool AppearedInAnotherCase() const;

    QString m_folder;
    QList<Entry> m_entries;
    bool m_vanished = false; // a file was missing at the last look
};

} // namespace absence
