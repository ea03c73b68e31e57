// The uninstall log as the tests write and expect it: UTF-16LE without byte-order mark, a
// header line "name#version#class#DO NOT REMOVE/EDIT THIS FILE", one record a line
// ("|K|text|") and the end marker "||".
#pragma once

#include <string>
#include <utility>
#include <vector>

// One record: kind letter and text.
using LogRecordText = std::pair<wchar_t, std::wstring>;
using LogRecords = std::vector<LogRecordText>;

// "name#version#class#DO NOT REMOVE/EDIT THIS FILE".
std::wstring LogHeaderLine(const std::wstring& name, const std::wstring& version,
                       const std::wstring& window_class);

// `header`, then each record on a line of its own and, unless `end_marker` is false, the end
// marker. With an empty header and no end marker: the records alone.
std::wstring LogContents(const std::wstring& header, const LogRecords& records,
                     bool end_marker = true);

// The log of product Alpha 1.0 (window class AlphaWnd), which most tests install.
std::wstring AlphaLog(const LogRecords& records, bool end_marker = true);

// The header of the log of TestPackage() (harness/package_builder.h): "Test Product#1.0#
// TestProductWindow#DO NOT REMOVE/EDIT THIS FILE".
std::wstring TestPackageLogHeader();

// Writes `text` to `path` as the installer writes its log; reads a log back as text.
void WriteLog(const std::wstring& path, const std::wstring& text);
std::wstring ReadLog(const std::wstring& path);

// The folders that creating the full `path` records, parents first: every prefix ending
// before a backslash from the second backslash on, then `path` itself.
std::vector<std::wstring> FolderChain(const std::wstring& path);

// Appends the "S" records of `folders` and then of `more` (created in that order), newest
// first, as the log lists them.
void AddFolderRecords(LogRecords& records, const std::vector<std::wstring>& folders,
                      const std::vector<std::wstring>& more = {});
