// A Prometheus server's answers, recorded from Debian's prometheus scraping
// two node_exporters and written by hand where servers go wrong, read into
// each machine's figures.
#include "remote/PrometheusAnswer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

QByteArray recorded(const char* name) {
    return readFileBytes(fixturePath(QStringLiteral("prometheus/") + QLatin1String(name)));
}

QByteArray vectorOf(const QByteArray& result) {
    return R"({"status":"success","data":{"resultType":"vector","result":[)" + result + "]}}";
}

// Ten series of a range, with these many samples in all.
QByteArray matrixOf(std::size_t samples) {
    QByteArrayList series;
    for (std::size_t i = 0; i < 10; ++i) {
        const std::size_t count = samples / 10 + (i < samples % 10 ? 1 : 0);
        QByteArray values = QByteArray(R"([1,"1"],)").repeated(qsizetype(count));
        values.chop(1);
        series << R"({"metric":{"instance":"m)" + QByteArray::number(qulonglong(i)) +
                      R"("},"values":[)" + values + "]}";
    }
    return R"({"status":"success","data":{"resultType":"matrix","result":[)" + series.join(',') +
           "]}}";
}

TEST(PrometheusAnswer, ReadsAnswersAndRefusesWhatIsNotOne) {
    const QByteArray sample = R"({"metric":{"instance":"a","q":"up"},"value":[1700000000.5,"1"]})";
    const struct {
        const char* name;
        QByteArray json;
        bool success;
        std::size_t series, samples;
        const char* error;
    } cases[] = {
        {"recorded vector", recorded("vector.json"), true, 22, 22, ""},
        {"recorded matrix", recorded("matrix.json"), true, 22, 66, ""},
        {"the server's refusal", recorded("error.json"), false, 0, 0, "unclosed left parenthesis"},
        {"not JSON", "<html>", false, 0, 0, "not JSON"},
        {"a scalar", R"({"status":"success","data":{"resultType":"scalar","result":[1,"2"]}})",
         false, 0, 0, "neither"},
        {"no status", R"({"data":{}})", false, 0, 0, "no success"},
        {"NaN and infinities left out",
         vectorOf(sample + R"(,{"metric":{"instance":"a"},"value":[1,"NaN"]},)" +
                  R"({"metric":{"instance":"a"},"value":[1,"+Inf"]})"),
         true, 3, 1, ""},
        {"values of the wrong types left out",
         vectorOf(R"({"metric":{"instance":7},"value":[1,2]},{"metric":{},"value":["1","2"]},)"
                  R"({"metric":{},"value":[1e300,"2"]},{"value":[1,"x"]},"junk")"),
         true, 5, 0, ""},
        {"too many series", vectorOf((sample + ',').repeated(int(largestSeriesCount)) + sample),
         false, 0, 0, "too many series"},
        {"as many samples as are read", matrixOf(largestSampleCount), true, 10, largestSampleCount,
         ""},
        {"too many samples", matrixOf(largestSampleCount + 1), false, 0, 0, "too many samples"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const PrometheusAnswer answer = parsePrometheusAnswer(c.json);
        EXPECT_EQ(answer.success, c.success);
        EXPECT_TRUE(answer.error.contains(QLatin1String(c.error))) << answer.error;
        EXPECT_EQ(answer.series.size(), c.series);
        std::size_t samples = 0;
        for (const PrometheusSeries& series : answer.series)
            samples += series.samples.size();
        EXPECT_EQ(samples, c.samples);
    }
}

// The recorded answer: two machines (the same one, scraped twice), each with
// processors' shares and memory.
TEST(PrometheusAnswer, RecordedAnswerGivesEachMachineItsFigures) {
    const auto readings = fleetReadings(parsePrometheusAnswer(recorded("vector.json")).series);
    ASSERT_EQ(readings.size(), 1u) << "an instant vector is one time";
    const auto& machines = readings.begin()->second;
    ASSERT_EQ(machines.size(), 2u);
    for (const auto& [instance, reading] : machines) {
        SCOPED_TRACE(instance.toStdString());
        EXPECT_EQ(reading.up, true);
        ASSERT_TRUE(reading.hasCpu);
        const float load = *reading.rates.user + *reading.rates.system + *reading.rates.nice;
        EXPECT_GT(load, 0.0f);
        EXPECT_LT(load, 1.0f);
        ASSERT_TRUE(reading.rates.memoryUsed);
        EXPECT_GT(*reading.rates.memoryUsed, 0.0f);
        EXPECT_LT(*reading.rates.memoryUsed, 1.0f);
    }
}

TEST(PrometheusAnswer, FiguresAreSharesAndCountedDevices) {
    const auto series = [](const char* q, const char* extra, double value, qint64 time = 1000) {
        PrometheusSeries one;
        one.labels = {{QStringLiteral("instance"), QStringLiteral("m")},
                      {QStringLiteral("q"), QLatin1String(q)}};
        const QStringList pair = QString::fromLatin1(extra).split(u'=');
        if (pair.size() == 2)
            one.labels[pair[0]] = pair[1];
        one.samples = {{time, value}};
        return one;
    };
    const auto readings = fleetReadings({
        series("cpu", "", 4.0),
        series("user", "", 1.0),
        series("nice", "", 0.5),
        series("system", "", 0.5),
        series("in", "device=eth0", 100),
        series("in", "device=lo", 1e9),
        series("in", "device=eth0.5", 1e9),
        series("in", "device=wlan0", 50),
        series("out", "device=eth0", -5),
        series("read", "device=sda", 10),
        series("read", "device=sda1", 1e9),
        series("written", "device=nvme0n1", 20),
        series("memtotal", "", 1000),
        series("memavailable", "", 1500),
        series("up", "", 0),
        series("up", "", 0, 2000),
        series("cpu", "", 1.0, 2000),
        series("user", "", 2.0, 2000),
        series("nice", "", 1.5, 2000),
        series("system", "", 3.0, 2000),
        series("cpu", "", 0.0, 3000),
        series("user", "", 0.0, 3000),
    });
    ASSERT_EQ(readings.size(), 3u);
    const FleetReading& first = readings.at(1000).at(QStringLiteral("m"));
    EXPECT_EQ(first.up, false);
    EXPECT_FLOAT_EQ(*first.rates.user, 0.25f);
    EXPECT_FLOAT_EQ(*first.rates.nice, 0.125f);
    EXPECT_FLOAT_EQ(*first.rates.system, 0.125f);
    EXPECT_FLOAT_EQ(first.rates.inBytes, 150);
    EXPECT_FLOAT_EQ(first.rates.outBytes, 0) << "a rate below zero draws nothing";
    EXPECT_FLOAT_EQ(first.rates.readBytes, 10);
    EXPECT_FLOAT_EQ(first.rates.writtenBytes, 20);
    EXPECT_FLOAT_EQ(*first.rates.memoryUsed, 0) << "more available than total is none used";
    const FleetReading& second = readings.at(2000).at(QStringLiteral("m"));
    for (const std::optional<float>& part :
         {second.rates.user, second.rates.nice, second.rates.system})
        EXPECT_FLOAT_EQ(part.value_or(-1.0f), 1.0f) << "a part is never more than the whole";
    EXPECT_FALSE(second.rates.memoryUsed);
    EXPECT_FALSE(readings.at(3000).at(QStringLiteral("m")).rates.user)
        << "counters that stood still give no share";
}

TEST(PrometheusAnswer, MachinesAreTitledByHostWhereThatTellsThemApart) {
    const std::map<QString, QString> titles = machineTitles(
        {QStringLiteral("web-01:9100"), QStringLiteral("db:9100"), QStringLiteral("lab:9100"),
         QStringLiteral("lab:9101"), QStringLiteral("[::1]:9100"), QStringLiteral("nas")});
    const std::map<QString, QString> expected{
        {QStringLiteral("web-01:9100"), QStringLiteral("web-01")},
        {QStringLiteral("db:9100"), QStringLiteral("db")},
        {QStringLiteral("lab:9100"), QStringLiteral("lab:9100")},
        {QStringLiteral("lab:9101"), QStringLiteral("lab:9101")},
        {QStringLiteral("[::1]:9100"), QStringLiteral("[::1]")},
        {QStringLiteral("nas"), QStringLiteral("nas")}};
    EXPECT_EQ(titles, expected);
}

TEST(PrometheusAnswer, ReadsDurationsAndTheScrapeInterval) {
    const struct {
        const char* text;
        std::optional<int> seconds;
    } durations[] = {
        {"15s", 15},
        {"1m30s", 90},
        {"500ms", 1},
        {"2h", 7200},
        {"1d", 86400},
        {" 1m ", 60},
        {"2d", std::nullopt},
        {"15", std::nullopt},
        {"", std::nullopt},
        {"1s1m", std::nullopt},
        {"9999999999s", std::nullopt},
        {"-1s", std::nullopt},
    };
    for (const auto& d : durations)
        EXPECT_EQ(prometheusDurationSeconds(QLatin1String(d.text)), d.seconds) << d.text;

    const auto config = [](const char* yaml) {
        return R"({"status":"success","data":{"yaml":")" + QByteArray(yaml) + "\"}}";
    };
    EXPECT_EQ(scrapeIntervalSeconds(recorded("config.json")), 1);
    EXPECT_EQ(scrapeIntervalSeconds(config("global:\\n  scrape_timeout: 10s\\n  "
                                           "scrape_interval: 30s\\nscrape_configs:\\n")),
              30);
    EXPECT_EQ(scrapeIntervalSeconds(config("global:\\n  scrape_timeout: 10s\\nscrape_configs:\\n"
                                           "- job_name: x\\n  scrape_interval: 5s\\n")),
              std::nullopt)
        << "a job's interval is not the server's";
    EXPECT_EQ(scrapeIntervalSeconds(recorded("error.json")), std::nullopt);
}

} // namespace
