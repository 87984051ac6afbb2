#include "PlaySession.h"

#include "EditorPlayer.h"
#include "records/SessionFiles.h"

PlaySession::PlaySession(EditorPlayer& player, PlayDialogs& dialogs)
    : m_player(player), m_dialogs(dialogs) {}

bool PlaySession::mayPlay(const Request& request, std::optional<ProgramAnalysis>& shown) {
    if (!m_dialogs.acknowledgeSafetyNotice()) {
        return false;
    }
    if (!shown || shown->bytes != request.bytes) {
        shown = Analysis::analyse(request.bytes);
    }
    const CheckReport& report = shown->report;
    if (report.hasErrors()) {
        m_dialogs.showMessage(tr("The program has errors and does not play:\n\n%1")
                                  .arg(formatReport(request.name, report).join('\n')));
        return false;
    }
    if (!report.findings.isEmpty() && m_warnedBytes != request.bytes) {
        QStringList warnings;
        for (const CheckFinding& finding : report.findings) {
            warnings << QStringLiteral("line %1: %2").arg(finding.line).arg(finding.text);
        }
        if (!m_dialogs.askToPlayWithWarnings(warnings.join('\n'))) {
            return false;
        }
        m_warnedBytes = request.bytes;
    }
    if (!request.comNumber) {
        m_dialogs.showMessage(tr("Choose the COM port of the light first."));
        return false;
    }
    QString error;
    if (request.recordFolder && !SessionFiles::prepareFolder(*request.recordFolder, &error)) {
        m_dialogs.showMessage(
            tr("The session record cannot be kept: %1. Nothing was played.").arg(error));
        return false;
    }
    // Markers sent before a recorder connects are lost, so the user decides whether that
    // matters; the stream stays open for one to connect before the next Play.
    if (request.marking && request.marking->stream && !request.marking->stream->hasRecorder() &&
        !m_dialogs.askToPlayWithoutRecorder(request.marking->stream->name())) {
        return false;
    }
    return true;
}

void PlaySession::play(const Request& request, std::optional<ProgramAnalysis>& shown) {
    if (m_player.state() != EditorPlayer::State::Idle || !mayPlay(request, shown)) {
        return;
    }
    std::optional<EditorPlayer::Recording> recording;
    if (request.recordFolder) {
        recording = EditorPlayer::Recording{*request.recordFolder, request.programPath};
    }
    const EditorPlayer::Outcome outcome =
        m_player.play(request.bytes, request.firstRow, *request.comNumber, request.white, recording,
                      request.marking);
    if (!outcome.openError.isEmpty()) {
        m_dialogs.showMessage(
            tr("Cannot open Com%1: %2").arg(*request.comNumber).arg(outcome.openError));
        return;
    }
    if (outcome.failure) {
        m_dialogs.showMessage(tr("The run ended: %1").arg(outcome.failure->message()));
    } else {
        m_dialogs.showStatus(outcome.stopped ? tr("Stopped; the light is dark")
                                             : tr("Played to the end; the light is dark"));
    }
    if (outcome.record) {
        m_dialogs.offerReport(outcome.record->json);
    } else if (recording) {
        m_dialogs.showMessage(tr("The session record is lost: %1").arg(outcome.recordLost));
    }
}
