#include "RunMetrics.h"

#include <fmt/format.h>

#include <array>
#include <cmath>
#include <set>

#include "InputFile.h"
#include "JsonFields.h"

namespace ktr::sim {
namespace {

constexpr std::array<const char*, 3> kDirections = {"higher", "lower", "none"};
// The two rows of a metric measured over episodes.
constexpr std::array<const char*, 2> kEpisodeStatistics = {"median", "max"};

using Json = nlohmann::ordered_json;

std::string direction(const Json& object, const std::string& path) {
    std::string better = stringField(object, path, "better");
    for (const char* known : kDirections) {
        if (better == known) {
            return better;
        }
    }
    refuseField(path + "better", "\"higher\", \"lower\" or \"none\"", better);
}

// JSON text cannot carry an infinite number, but a summary built in code can.
std::optional<double> number(const Json& object, const std::string& path, const std::string& name) {
    const Json& value = requiredField(object, path, name);
    if (value.is_null()) {
        return std::nullopt;
    }
    if (!value.is_number() || !std::isfinite(value.get<double>())) {
        refuseField(path + name, "a finite number or null", value);
    }
    return value.get<double>();
}

void readMetric(const std::string& name, const Json& metric, std::vector<MetricValue>& rows) {
    const std::string path = "metrics." + name + ".";
    objectValue(metric, "metrics." + name);
    const std::string unit = stringField(metric, path, "unit");
    const std::string better = direction(metric, path);
    if (metric.contains("value")) {
        rows.push_back({name, unit, better, number(metric, path, "value")});
        return;
    }
    if (!metric.contains("median")) {
        throw InputError(fmt::format("field \"metrics.{}\": has neither \"value\" nor \"median\" and \"max\"", name));
    }
    for (const char* statistic : kEpisodeStatistics) {
        rows.push_back({name + "." + statistic, unit, better, number(metric, path, statistic)});
    }
}

}  // namespace

std::vector<MetricValue> readRunMetrics(const Json& summary) {
    objectValue(summary, "");
    const Json& schema = requiredField(summary, "", "schema");
    if (schema != kSummarySchema) {
        refuseField("schema", std::to_string(kSummarySchema), schema);
    }
    const Json& metrics = objectValue(requiredField(summary, "", "metrics"), "metrics");
    std::vector<MetricValue> rows;
    for (const auto& [name, metric] : metrics.items()) {
        readMetric(name, metric, rows);
    }
    // "a.median" may name a metric and also a row of metric "a".
    std::set<std::string> names;
    for (const MetricValue& row : rows) {
        if (!names.insert(row.name).second) {
            throw InputError(fmt::format("field \"metrics\": the row \"{}\" appears twice", row.name));
        }
    }
    return rows;
}

}  // namespace ktr::sim
