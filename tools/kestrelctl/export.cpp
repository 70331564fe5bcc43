// export: a recording as GPX, KML, CSV or NMEA 0183.

#include "cli.h"
#include "commands.h"

#include "recording/export.h"

int runExport(const QStringList &args)
{
    const QString cmd = QStringLiteral("export");
    SubcommandParser sp(
        cmd, QStringLiteral("--format gpx|kml|csv|nmea RECORDING"),
        QStringLiteral(
            "Writes the positions of a recording (kestrelctl record, or File, Record in\n"
            "the program) as a GPX 1.1 track, a KML LineString, CSV with a header row, or\n"
            "the NMEA 0183 sentences of the bridge. The recording is decoded by the\n"
            "program's own framer; every navigation message with a 2D or 3D fix and a\n"
            "valid UTC time becomes a point. How many messages there were and how many\n"
            "were left out is said on standard error. Without any fix the file is still\n"
            "valid, with no points."));
    QCommandLineParser &p = sp.parser();
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("gpx, kml, csv or nmea."),
                                    QStringLiteral("FORMAT"));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Write to FILE instead of standard output "
                                                   "(replaced only once the export is whole)."),
                                    QStringLiteral("FILE"), QStringLiteral("-"));
    p.addOptions({format, output});
    p.addPositionalArgument(QStringLiteral("RECORDING"), QStringLiteral("The recording."));
    if (const auto status = sp.parse(args))
        return *status;
    if (!p.isSet(format))
        return usageError(cmd, QStringLiteral("--format gpx|kml|csv|nmea is required"));
    const auto chosen = exportFormatNamed(p.value(format));
    if (!chosen)
        return usageError(cmd, QStringLiteral("--format wants gpx, kml, csv or nmea, not \"%1\"")
                                   .arg(quotedText(p.value(format))));
    const QStringList files = p.positionalArguments();
    if (files.isEmpty())
        return usageError(cmd, QStringLiteral("which recording?"));
    if (files.size() > 1)
        return usageError(cmd, QStringLiteral("one recording at a time"));
    if (p.value(output).isEmpty())
        return usageError(cmd, QStringLiteral("-o wants a file name, or - for standard output"));

    std::optional<ProgressLine> progress;
    const ExportOutcome outcome = exportRecordingFile(
        files.first(), *chosen, p.value(output), [&](qint64 done, qint64 total) {
            if (!progress)
                progress.emplace(files.first(), total);
            progress->update(done);
        });
    progress.reset();
    switch (outcome.status) {
    case ExportOutcome::Status::Done:
        break;
    case ExportOutcome::Status::OutputClosed:
        // The reader took what it wanted (… | head): nothing went wrong.
        return Exit::Ok;
    case ExportOutcome::Status::NotRecording:
        complain(outcome.error);
        return Exit::BadInput;
    case ExportOutcome::Status::CannotRead:
    case ExportOutcome::Status::CannotWrite:
        complain(outcome.error);
        return Exit::Failed;
    }
    if (outcome.cutShort)
        complain(QStringLiteral("%1 ends in an incomplete line (the recording was interrupted); "
                                "exported up to it")
                     .arg(quotedPath(files.first())));
    complain(outcome.track.summary());
    if (outcome.track.pointCount == 0)
        complain(QStringLiteral("no navigation message with a 2D or 3D fix: the %1 file has no "
                                "points")
                     .arg(exportFormatName(*chosen).toUpper()));
    return reportDamagedLines(files.first(), outcome.damaged);
}
