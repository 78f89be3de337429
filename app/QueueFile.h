// The conversion list as it is kept between runs of the program: every row's source, output,
// records and result in one JSON file ($XDG_STATE_HOME/Velto3GPConverter/queue.json), replaced
// atomically on every change so that a crash or power loss leaves the last complete list. Plain
// functions; the controller decides when to save and what a restored row becomes.
#pragma once

#include "JobNodeData.h"
#include "JobRecords.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <vector>

namespace velto {

// $XDG_STATE_HOME/Velto3GPConverter/queue.json.
QString DefaultQueueFile();

QJsonObject RecordsToJson(const TJobRecords& job);
// Fields missing from the object keep their defaults; false when it holds no source or output.
bool RecordsFromJson(const QJsonObject& object, TJobRecords& job);

QByteArray QueueToJson(const std::vector<TJobNodeData>& rows);
// The rows a saved list holds, as saved (a row that was running is still marked so); rows that
// cannot be read are left out. error tells why nothing could be read.
std::vector<TJobNodeData> QueueFromJson(const QByteArray& json, QString* error = nullptr);

// Writes through a temporary file renamed over the target; false with the reason.
bool SaveQueueFile(const QString& file, const std::vector<TJobNodeData>& rows, QString& error);
// Nothing for a missing file; error set for one that cannot be read.
std::vector<TJobNodeData> LoadQueueFile(const QString& file, QString& error);

// Removes the hidden files a run of this output was writing when it was cut off; the count.
int RemoveRunLeftovers(const QString& output);

} // namespace velto
