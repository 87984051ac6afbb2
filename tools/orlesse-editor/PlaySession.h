#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <optional>

#include "Analysis.h"
#include "EditorPlayer.h"

// What a play session asks the user and tells them: the window answers with its dialogs, a
// test with a fake.
class PlayDialogs {
  public:
    virtual ~PlayDialogs() = default;

    // Shows the notice about photosensitive epilepsy unless the user has acknowledged it;
    // whether they have now.
    virtual bool acknowledgeSafetyNotice() = 0;
    // Whether a program that plays, but not as written, plays all the same.
    virtual bool askToPlayWithWarnings(const QString& warnings) = 0;
    // Whether the run plays although no recorder is connected to the marker stream named
    // stream, so that its markers reach none.
    virtual bool askToPlayWithoutRecorder(const QString& stream) = 0;
    virtual void showMessage(const QString& text) = 0;
    // A passing note, such as how the run ended.
    virtual void showStatus(const QString& text) = 0;
    // After a recorded run: offers the report of the record whose description is jsonPath.
    virtual void offerReport(const QString& jsonPath) = 0;
};

// Play, from the press of the button to the report of the run: the safety notice, the check
// (a program with errors does not play, warnings ask once for the same program), the COM port,
// the records' folder (checked before anything is sent, so that no run loses its record), the
// marker stream's recorder, the run through the player, and what the user is told of its end.
class PlaySession final {
    Q_DECLARE_TR_FUNCTIONS(PlaySession)

  public:
    // What to play, as the window has it when Play is pressed.
    struct Request {
        QByteArray bytes;                     // the program file
        QString name;                         // its file name, as the check's lines give it
        QString programPath;                  // the file the session record names
        int firstRow = 0;                     // the record the run starts at
        std::optional<int> comNumber;         // the COM port chosen, if any
        bool white = false;                   // the white LEDs light with the lit frames
        std::optional<QString> recordFolder;  // where the run's session record goes, if kept
        std::optional<EditorPlayer::Marking> marking;  // where the run's markers go, if sent
    };

    PlaySession(EditorPlayer& player, PlayDialogs& dialogs);

    // Plays the request when it passes the gates; returns when the run is over. shown is the
    // analysis the window shows: when it is not of the request's program, the program is
    // worked out again here, and shown becomes that analysis.
    void play(const Request& request, std::optional<ProgramAnalysis>& shown);

    // Forgets the program the user agreed to play despite its warnings: a new one asks again.
    void forgetWarnings() { m_warnedBytes.clear(); }

  private:
    bool mayPlay(const Request& request, std::optional<ProgramAnalysis>& shown);

    EditorPlayer& m_player;
    PlayDialogs& m_dialogs;
    QByteArray m_warnedBytes;  // the program the user agreed to play despite its warnings
};
