// The uninstall log's record syntax: what the writer produces is what the reader walks.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "harness/log_text.h"
#include "harness/registry.h"
#include "harness/scratch.h"
#include "uninstall_log/log_reader.h"
#include "uninstall_log/log_writer.h"

namespace {

struct Walked {
  LogRecords records;
  LogWalkResult last;
};

Walked Walk(const std::wstring& text) {
  Walked walked;
  size_t position = 0;
  LogRecord record;
  while ((walked.last = NextLogRecord(text.data(), text.size(), &position, &record)) ==
         LOG_WALK_RECORD) {
    walked.records.push_back({record.kind, std::wstring(record.text, record.text_length)});
  }
  return walked;
}

// Writes the log of Alpha 1.0 with `records` and the end marker into `scratch` through the
// log writer; returns its path.
std::wstring WrittenLog(const ScratchFolder& scratch, const LogRecords& records) {
  std::wstring path = scratch / L"uninstall.dat";
  EXPECT_TRUE(OpenUninstallLog(path.c_str()));
  WriteLogHeader(L"Alpha", L"1.0", L"AlphaWnd");
  for (const LogRecordText& record : records) WriteLogRecord(record.first, record.second.c_str());
  WriteLogEndMarker();
  CloseUninstallLog();
  return path;
}

TEST(UninstallLogWriter, WritesHeaderRecordsAndEndMarker) {
  ScratchFolder scratch;
  std::wstring path = WrittenLog(scratch, {{L'F', L"C:\\a.txt"}, {L'S', L"<23>Alpha 1.0"}});
  CloseUninstallLog();  // a second close is harmless

  std::vector<unsigned char> bytes = ReadBytes(path);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_FALSE(bytes[0] == 0xFF && bytes[1] == 0xFE) << "no byte-order mark";
  EXPECT_EQ(ReadLog(path),
            L"Alpha#1.0#AlphaWnd#DO NOT REMOVE/EDIT THIS FILE"
            L"\r\n|F|C:\\a.txt|\r\n|S|<23>Alpha 1.0|\r\n||");
}

TEST(UninstallLogWriter, OpenFailsForMissingFolder) {
  ScratchFolder scratch;
  EXPECT_FALSE(OpenUninstallLog((scratch / L"missing\\uninstall.dat").c_str()));
  WriteLogRecord(L'F', L"nowhere");  // no open log: nothing happens
  CloseUninstallLog();
}

TEST(UninstallLogReader, WalksWhatTheWriterWrote) {
  ScratchFolder scratch;
  const LogRecords records = {{L'E', L"C:\\x\\alpha.exe"},
                              {L'R', UninstallKey(L"Alpha", L"1.0")},
                              {L'F', L"<25>\\alpha.lnk"},
                              {L'F', L""}};
  std::wstring text = ReadLog(WrittenLog(scratch, records));

  LogHeader header;
  size_t after = 0;
  ASSERT_TRUE(SplitLogHeader(text.data(), text.size(), &header, &after));
  EXPECT_STREQ(header.product_name, L"Alpha");
  EXPECT_STREQ(header.product_version, L"1.0");
  EXPECT_STREQ(header.window_class, L"AlphaWnd");
  EXPECT_EQ(text.substr(after, 4), L"DO N");

  Walked walked = Walk(text);
  EXPECT_EQ(walked.last, LOG_WALK_END_MARKER);
  EXPECT_EQ(walked.records, records);
}

TEST(UninstallLogReader, HeaderNeedsThreeHashes) {
  LogHeader header;
  size_t after = 12345;
  for (std::wstring text : {L"", L"Alpha", L"Alpha#1.0", L"Alpha#1.0#AlphaWnd"}) {
    EXPECT_FALSE(SplitLogHeader(text.data(), text.size(), &header, &after));
  }
  EXPECT_EQ(after, 12345u);
  std::wstring empty_fields = L"###";
  ASSERT_TRUE(SplitLogHeader(empty_fields.data(), empty_fields.size(), &header, &after));
  EXPECT_STREQ(header.product_name, L"");
  EXPECT_EQ(after, 3u);
}

TEST(UninstallLogReader, LongHeaderFieldsAreCut) {
  std::wstring text = std::wstring(5000, L'n') + L"#" + std::wstring(300, L'v') + L"#c#";
  LogHeader header;
  size_t after = 0;
  ASSERT_TRUE(SplitLogHeader(text.data(), text.size(), &header, &after));
  EXPECT_EQ(std::wstring(header.product_name), std::wstring(kLogFieldCapacity - 1, L'n'));
  EXPECT_EQ(std::wstring(header.product_version), std::wstring(kLogFieldCapacity - 1, L'v'));
  EXPECT_STREQ(header.window_class, L"c");
}

TEST(UninstallLogReader, UnfinishedDataEndsTheWalk) {
  // No end marker: every complete record, then the data ends.
  Walked walked = Walk(L"A#1#W#x\r\n|F|one|\r\n|F|two");
  EXPECT_EQ(walked.last, LOG_WALK_DATA_ENDS);
  ASSERT_EQ(walked.records.size(), 1u);
  EXPECT_EQ(walked.records[0].second, L"one");

  EXPECT_EQ(Walk(L"").last, LOG_WALK_DATA_ENDS);
  EXPECT_EQ(Walk(L"A#1#W#").last, LOG_WALK_DATA_ENDS);
  EXPECT_EQ(Walk(L"A#1#W#|").last, LOG_WALK_DATA_ENDS);
  EXPECT_EQ(Walk(L"A#1#W#|F").last, LOG_WALK_DATA_ENDS);
  EXPECT_EQ(Walk(L"A#1#W#|F|").last, LOG_WALK_DATA_ENDS);
  EXPECT_EQ(Walk(L"A#1#W#||").last, LOG_WALK_END_MARKER);
}

TEST(UninstallLogReader, OnlyBarsSeparateRecords) {
  Walked walked = Walk(L"A#1#W#junk|F|one|garbage|S|two|xx||");
  EXPECT_EQ(walked.last, LOG_WALK_END_MARKER);
  ASSERT_EQ(walked.records.size(), 2u);
  EXPECT_EQ(walked.records[1].first, L'S');
  EXPECT_EQ(walked.records[1].second, L"two");
}

TEST(SymbolicPath, FormatsAndParsesBothForms) {
  wchar_t out[260];
  ASSERT_TRUE(FormatSymbolicPath(25, L"\\alpha.lnk", out, 260));
  EXPECT_STREQ(out, L"<25>\\alpha.lnk");
  EXPECT_FALSE(FormatSymbolicPath(23, L"Alpha 1.0", out, 9));
  EXPECT_STREQ(out, L"");

  struct Case {
    const wchar_t* text;
    SymbolicPathKind kind;
    int csidl;
    const wchar_t* rest;
  } cases[] = {
      {L"<25>\\alpha.lnk", PATH_SYMBOLIC, 25, L"alpha.lnk"},
      {L"<23>Alpha 1.0\\uninstall.lnk", PATH_SYMBOLIC, 23, L"Alpha 1.0\\uninstall.lnk"},
      {L"<23>Alpha 1.0", PATH_SYMBOLIC, 23, L"Alpha 1.0"},
      {L"<25>\\\\x", PATH_SYMBOLIC, 25, L"\\x"},
      {L"<99999999999999999999>x", PATH_SYMBOLIC, 0x7FFFFFFF, L"x"},
      {L"<-3>x", PATH_SYMBOLIC, -3, L"x"},
      {L"<abc>x", PATH_SYMBOLIC, 0, L"x"},
      {L"<25", PATH_MALFORMED, 0, L""},
      {L"C:\\x", PATH_PLAIN, 0, L""},
      {L"", PATH_PLAIN, 0, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.text));
    int csidl = 0;
    const wchar_t* rest = NULL;
    size_t rest_length = 0;
    std::wstring text = c.text;
    ASSERT_EQ(ParseSymbolicPath(text.data(), text.size(), &csidl, &rest, &rest_length), c.kind);
    if (c.kind != PATH_SYMBOLIC) continue;
    EXPECT_EQ(csidl, c.csidl);
    EXPECT_EQ(std::wstring(rest, rest_length), c.rest);
  }
}

}  // namespace
