// The report's fixed texts, as code page 936 (GBK) bytes. They reach
// standard output unchanged; the Chinese is in the comment beside each.
#pragma once

// "%u字节": a count below 1024, in bytes.
inline constexpr char kSizeBytesFormat[] = "%u\xD7\xD6\xBD\xDA";
// "%u.%02uK": kibibytes with two decimals. Both parts are worked out in
// integers, since printf's rounding of ties differs between runtimes.
inline constexpr char kSizeKilobytesFormat[] = "%u.%02uK";

// "%s，不是图片，跳过。\n": name, not an image, skipped.
inline constexpr char kNotImageLine[] =
    "%s\xA3\xAC\xB2\xBB\xCA\xC7\xCD\xBC\xC6\xAC\xA3\xAC\xCC\xF8\xB9\xFD\xA1\xA3\n";
// "%s，原大小：%s": name, old size; the line goes on.
inline constexpr char kOldSizeHead[] = "%s\xA3\xAC\xD4\xAD\xB4\xF3\xD0\xA1\xA3\xBA%s";
// "%s，原大小：未知": name, old size unknown; the line goes on.
inline constexpr char kOldSizeUnknownHead[] = "%s\xA3\xAC\xD4\xAD\xB4\xF3\xD0\xA1\xA3\xBA\xCE\xB4\xD6\xAA";
// "，新大小：%s。\n": the file was overwritten; its new size.
inline constexpr char kNewSizeTail[] = "\xA3\xAC\xD0\xC2\xB4\xF3\xD0\xA1\xA3\xBA%s\xA1\xA3\n";
// "，不处理。\n": the file was left alone.
inline constexpr char kNotProcessedTail[] = "\xA3\xAC\xB2\xBB\xB4\xA6\xC0\xED\xA1\xA3\n";
// "，写入失败，文件未改动。\n": the overwrite failed; the file is unchanged.
inline constexpr char kWriteFailedTail[] =
    "\xA3\xAC\xD0\xB4\xC8\xEB\xCA\xA7\xB0\xDC\xA3\xAC\xCE\xC4\xBC\xFE\xCE\xB4\xB8\xC4\xB6\xAF\xA1\xA3\n";
// "，写入失败，文件已损坏，原内容在%s。\n": the overwrite of a file with
// several names failed and so did writing its old content back; where that
// old content is kept.
inline constexpr char kWriteFailedDamagedTail[] =
    "\xA3\xAC\xD0\xB4\xC8\xEB\xCA\xA7\xB0\xDC\xA3\xAC\xCE\xC4\xBC\xFE\xD2\xD1\xCB\xF0\xBB\xB5"
    "\xA3\xAC\xD4\xAD\xC4\xDA\xC8\xDD\xD4\xDA%s\xA1\xA3\n";
// "，写入失败，原文件已移除，新图片在%s。\n": the old file left its name and
// nothing could be put there; where the complete new picture is.
inline constexpr char kWriteFailedNewElsewhereTail[] =
    "\xA3\xAC\xD0\xB4\xC8\xEB\xCA\xA7\xB0\xDC\xA3\xAC\xD4\xAD\xCE\xC4\xBC\xFE\xD2\xD1\xD2\xC6\xB3\xFD"
    "\xA3\xAC\xD0\xC2\xCD\xBC\xC6\xAC\xD4\xDA%s\xA1\xA3\n";
