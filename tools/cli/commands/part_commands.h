#pragma once
// The commands whose code comes with a part that dravmer-cli loads when they are run (plot:
// painting; archive: the database back ends): their names, usage lines and summaries, which the
// program lists in its help without loading anything.
namespace dravmer::cli::part_commands {

inline constexpr const char kPlot[] = "plot";
inline constexpr const char kPlotUsage[] =
    "plot FILE... --param NAME[,NAME...] [--from S] [--to S] [--width W] [--height H] --out "
    "graph.png|graph.svg";
inline constexpr const char kPlotSummary[] =
    "draw parameters of stored experiments into a PNG or SVG file (no display needed)";
inline constexpr const char kPlotSummaryRu[] =
    "нарисовать параметры сохранённых экспериментов в файл PNG или SVG (без дисплея)";

inline constexpr const char kArchive[] = "archive";
inline constexpr const char kArchiveUsage[] =
    "archive [--archive URL] add FILE...|DIR\n"
    "       archive [--archive URL] list [--device ADDRESS] [--from DATE] [--to DATE] [--json]\n"
    "       archive [--archive URL] history --device ADDRESS --param NAME [--kind KIND] [--json]\n"
    "       archive [--archive URL] export ID DIR [--format adc|txt]";
inline constexpr const char kArchiveSummary[] =
    "the experiment archive: add experiment files, list, the history of one device's statistic, "
    "export an experiment's files again";
inline constexpr const char kArchiveSummaryRu[] =
    "архив экспериментов: добавить файлы экспериментов, список, история статистики одного "
    "прибора, снова выгрузить файлы эксперимента";

}  // namespace dravmer::cli::part_commands
