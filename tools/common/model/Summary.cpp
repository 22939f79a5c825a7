#include "Summary.h"

#include <fmt/format.h>

#include <tuple>

#include "InputFile.h"

namespace ktr {
namespace {

constexpr const char* kUnit = "unit";
constexpr const char* kBetter = "better";
constexpr const char* kValue = "value";
constexpr const char* kEpisodes = "episodes";
constexpr const char* kMedian = "median";
constexpr const char* kMax = "max";
constexpr const char* kDirections[] = {"higher", "lower", "none"};

void writeNumber(JsonOut& out, const char* key, const Known<double>& value) {
    out.key(key);
    codec::writeValue(out, value);
}

}  // namespace

bool Metric::operator==(const Metric& other) const {
    return std::tie(unit, better, value, episodes, median, max) ==
           std::tie(other.unit, other.better, other.value, other.episodes, other.median, other.max);
}

const Metric* Metrics::find(const std::string& name) const {
    for (const auto& [metricName, metric] : entries) {
        if (metricName == name) {
            return &metric;
        }
    }
    return nullptr;
}

void writeValue(JsonOut& out, const Metric& metric) {
    out.beginObject();
    if (metric.episodes) {
        writeNumber(out, kMedian, metric.median);
        writeNumber(out, kMax, metric.max);
        out.key(kEpisodes);
        out.unsignedInteger(*metric.episodes);
    } else {
        writeNumber(out, kValue, metric.value);
    }
    out.key(kUnit);
    out.string(metric.unit);
    out.key(kBetter);
    out.string(metric.better);
    out.endObject();
}

void readValue(FieldReader& in, const char* key, Metric& metric, Nulls nulls) {
    in.object(key, [&](FieldReader& object) {
        metric = Metric{};
        codec::readValue(object, kUnit, metric.unit, nulls);
        codec::readValue(object, kBetter, metric.better, nulls);
        if (std::find(std::begin(kDirections), std::end(kDirections), metric.better) == std::end(kDirections)) {
            object.fail(kBetter, fmt::format("expected \"higher\", \"lower\" or \"none\", got \"{}\"", metric.better));
        }
        if (object.contains(kEpisodes)) {
            metric.episodes = object.u64(kEpisodes);
            codec::readValue(object, kMedian, metric.median, Nulls::Unknown);
            codec::readValue(object, kMax, metric.max, Nulls::Unknown);
        } else if (object.contains(kValue)) {
            codec::readValue(object, kValue, metric.value, Nulls::Unknown);
        } else {
            object.fail("", "has neither \"value\" nor \"median\", \"max\" and \"episodes\"");
        }
    });
}

void writeValue(JsonOut& out, const Metrics& metrics) {
    out.beginObject();
    for (const auto& [name, metric] : metrics.entries) {
        out.key(name);
        writeValue(out, metric);
    }
    out.endObject();
}

void readValue(FieldReader& in, const char* key, Metrics& metrics, Nulls nulls) {
    metrics.entries.clear();
    in.object(key, [&](FieldReader& object) {
        for (const std::string& name : object.keys()) {
            Metric metric;
            readValue(object, name.c_str(), metric, nulls);
            metrics.entries.emplace_back(name, std::move(metric));
        }
    });
}

RunSummary parseRunSummary(const std::string& text, const std::string& source) {
    JsonValue document;
    try {
        document = JsonValue::parse(text);
    } catch (const nlohmann::json::exception& error) {
        throw InputError(fmt::format("{}: not one JSON object: {}", source, error.what()));
    }
    FieldReader in(document, FieldPlace(source, ""));
    const int64_t schema = in.i64("schema", 0, INT32_MAX);
    if (schema != RunSummary::kSchema) {
        in.fail("schema", fmt::format("a summary of schema {}; this ktr reads schema {}", schema, RunSummary::kSchema));
    }
    RunSummary summary;
    codec::readFields(in, summary, Nulls::Unknown);
    in.finish();
    return summary;
}

}  // namespace ktr
