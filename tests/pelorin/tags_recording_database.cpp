#include "tags_recording_database.h"

namespace tagtest {
namespace {

std::vector<std::string> Texts(const tabulo::StringList* list) {
    std::vector<std::string> texts;
    for (int i = 0; list && i < list->GetSize(); ++i)
        texts.push_back((*list)[i].str());
    return texts;
}

} // namespace

int RecordingDatabase::Unexpected(const char* slot) {
    calls.push_back(std::string("unexpected ") + slot);
    return 0;
}

fw::String RecordingDatabase::LastErrorText() {
    calls.push_back("LastErrorText");
    return fw::String(lastError);
}

int RecordingDatabase::ChooseSource(fw::String& source) {
    calls.push_back("ChooseSource [" + source.str() + "]");
    if (chosen.empty())
        return 0;
    source = chosen;
    return 1;
}

int RecordingDatabase::OpenSource(fw::String source) {
    calls.push_back("OpenSource " + source.str());
    return 1;
}

int RecordingDatabase::IsOpen() {
    calls.push_back("IsOpen");
    return open ? 1 : 0;
}

int RecordingDatabase::Finish() {
    calls.push_back("Finish");
    return 1;
}

int RecordingDatabase::CreateTable(fw::String table, const tabulo::StringList* names,
                                   const tabulo::StringList* columnTypes) {
    calls.push_back("CreateTable " + table.str());
    columns.push_back(Texts(names));
    types.push_back(Texts(columnTypes));
    return refuseTables.count(table.str()) ? 0 : 1;
}

int RecordingDatabase::OpenRecordset(fw::String query, int a, int b, int c, int d) {
    calls.push_back("OpenRecordset " + query.str() + " " + std::to_string(a) + " " +
                    std::to_string(b) + " " + std::to_string(c) + " " + std::to_string(d));
    return refuseRecordset ? 0 : 1;
}

int RecordingDatabase::AddNew() {
    calls.push_back("AddNew");
    return refuseAddNew ? 0 : 1;
}

int RecordingDatabase::Update() {
    calls.push_back("Update");
    return 1;
}

int RecordingDatabase::SetFieldValue(const char* column, const fw::String* value) {
    calls.push_back(std::string("Set ") + (column ? column : "(null)") + "=" +
                    (value ? value->str() : std::string("(null)")));
    return 1;
}

} // namespace tagtest
