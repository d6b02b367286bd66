// A notification line read into its fields against the plain reference, and
// each field written as CSV and read back.

#include "fuzz_support.h"

#include "day_csv.h"
#include "notification_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::InstallServices();
    const std::string line(reinterpret_cast<const char *>(data), size);
    const absence::NotificationLine n = absence::NotificationLine::Read(fuzz::Qt(line));
    const ref::NotificationFields f = ref::ReadNotificationLine(line);
    FUZZ_CHECK(fuzz::Std(n.mark) == f.mark);
    FUZZ_CHECK(fuzz::Std(n.time) == f.time);
    FUZZ_CHECK(fuzz::Std(n.content) == f.content);
    FUZZ_CHECK(fuzz::Std(n.className) == f.cls);
    FUZZ_CHECK(fuzz::Std(n.grade) == f.grade);
    FUZZ_CHECK(fuzz::Std(n.group) == f.group);
    FUZZ_CHECK(fuzz::Std(n.number) == f.number);
    FUZZ_CHECK(fuzz::Std(n.name) == f.name);
    FUZZ_CHECK(fuzz::Std(absence::KindText(n.kind)) == f.kind);
    FUZZ_CHECK(fuzz::Std(n.reason) == f.reason);
    FUZZ_CHECK(fuzz::Std(absence::SymptomText(n.symptom)) == f.symptom);
    FUZZ_CHECK(fuzz::Std(n.attendance) == f.attendance);
    FUZZ_CHECK(fuzz::Std(n.contact) == f.contact);

    for (const QByteArray &field : {n.content, n.name, n.reason, n.mark}) {
        QByteArray csv;
        absence::AppendCsvField(csv, field);
        const std::string s = fuzz::Std(field);
        const bool formula = !s.empty() && std::string("=+-@").find(s[0]) != std::string::npos;
        FUZZ_CHECK(ref::UnquoteCsvField(fuzz::Std(csv)) == (formula ? "'" + s : s));
        // Quoted exactly when a reader would otherwise split the field.
        const bool quoted = s.find_first_of(",\"\r\n") != std::string::npos;
        FUZZ_CHECK((csv.startsWith('"') && csv.endsWith('"') && csv.size() >= 2) == quoted);
    }
    return 0;
}
