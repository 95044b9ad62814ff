#include "stream/stream_record.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "files/csv_writer.h"
#include "measure/param_catalog.h"

namespace dravmer {

namespace {

void AppendNumber(std::string& out, double v, bool integer) {
    char buf[64];
    char* end;
    if (integer)
        end = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(v)).ptr;
    else if (!std::isfinite(static_cast<float>(v))) {
        out += "null";
        return;
    } else
        end = std::to_chars(buf, buf + sizeof buf, static_cast<float>(v)).ptr;
    out.append(buf, end);
}

template <typename T>
void AppendInteger(std::string& out, T v) {
    char buf[32];
    out.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

// The texts here are ASCII (aliases, digits, an ISO date) or names of experiments: escape what
// JSON requires anyway.
void AppendString(std::string& out, std::string_view s) {
    out += '"';
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
            out += buf;
        } else {
            out += c;
        }
    }
    out += '"';
}

}  // namespace

std::string RecordJson(const SStreamRecord& r) {
    std::string out;
    out.reserve(1200);
    out += "{\"address\":";
    AppendInteger(out, r.address);
    out += ",\"port\":";
    AppendInteger(out, r.port);
    out += ",\"time\":";
    AppendInteger(out, r.record.time);
    out += ",\"datetime\":";
    AppendString(out, IsoLocalDateTime(r.start + static_cast<std::time_t>(r.record.time)));
    out += ",\"cycle\":";
    AppendInteger(out, static_cast<unsigned>(r.record.cycle));
    out += ",\"values\":{";
    double all[CMeasRecord::kParamCount];
    GetAllParams(r.record, all);
    for (int i = 0; i < CMeasRecord::kParamCount; ++i) {
        if (i) out += ',';
        AppendString(out, ParamAlias(i));
        out += ':';
        AppendNumber(out, all[i], IsIntegerParam(i));
    }
    out += "}}";
    return out;
}

std::string ExperimentEventJson(const SExperimentEvent& e) {
    std::string out = "{\"event\":";
    AppendString(out, e.event);
    out += ",\"experiment\":";
    AppendString(out, e.experiment);
    out += ",\"devices\":[";
    for (std::size_t i = 0; i < e.devices.size(); ++i) {
        if (i) out += ',';
        AppendInteger(out, e.devices[i]);
    }
    out += "],\"datetime\":";
    AppendString(out, IsoLocalDateTime(e.time));
    if (!e.reason.empty()) {
        out += ",\"reason\":";
        AppendString(out, e.reason);
    }
    out += '}';
    return out;
}

}  // namespace dravmer
