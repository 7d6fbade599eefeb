// The record browser: lists the records of a form's data file page by page,
// filtered by a condition, and shows one record field by field. It only
// reads; nothing here changes a data file.
//
// Every text that comes from the request or the data file is HTML-escaped
// where a page shows it; the form name and the password are percent-encoded
// where they go into a link.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/plist.hpp"
#include "core/sink.hpp"
#include "core/site.hpp"

namespace fwk {

// Lines examined per page when `_COUNT` does not say; a larger `_COUNT` is
// cut to kListMaxCount, so one request can never read without end.
constexpr int64_t kListDefaultCount = 50;
constexpr int64_t kListMaxCount = 1000;

// Serves "list", "list.exe" and "list.cgi": the start page, a page of the
// list, one record, or an export of the records the list selects (all its
// pages), each with its response headers. Reads DATABASE, _PASSWORD,
// _ACTION, _QUERY, _COUNT, _START and _ROWID from the request (which may be
// absent), and for an export (_ACTION "EXPORT") _FORMAT (csv, xlsx or
// jsonl) and _ALL (1: retired records too). Returns kHandlerOk (also for the
// start page and for a row number below 1), kHandlerNoDataFile,
// kHandlerRowMissing, kHandlerNoConfig or kHandlerUnknownCommand; failures
// other than a missing row also go to the site's status log.
int list_handle_request(const SiteContext& site, ParamList* request, OutputSink* sink);

// Sends the records of the data file at `path` as a download in `format`
// ("csv", "xlsx" or "jsonl"), named after the form, as they are read: the
// response headers, then the body made on a thread of its own. Returns
// kHandlerOk, or kHandlerNoDataFile / kHandlerUnknownCommand after an error
// page (and a status log line).
int list_export(const SiteContext& site, OutputSink* sink, const char* form, const char* path,
                const char* format, const char* query, bool include_retired);

// --- Pages -----------------------------------------------------------------

// The form that asks for a form name, a query and a password.
void list_start_page(OutputSink* sink, const char* form, const char* password);

// A page of the list: `count` lines of the open data file after the first
// `start`, the records among them that satisfy `query`. `header` is the data
// file's header list; its names are cut at their first "_" on the way.
void list_page(OutputSink* sink, std::FILE* file, ParamList* header, const char* form,
               const char* query, const char* password, int64_t count, int64_t start);

// One record (read into its header list), field by field, as line `row`.
// A retired record (marked deleted) says so above its fields.
void view_page(OutputSink* sink, const ParamList* record, const char* form, int64_t row,
               const char* password, bool retired);

// --- Pieces of the pages ---------------------------------------------------

// The fixed style sheet of every page.
void list_style_sheet(OutputSink* sink);

// The query form and the "Start over" button.
void list_query_bar(OutputSink* sink, const char* form, const char* password);

// The links "CSV", "Excel" and "JSON" that export the records the query
// selects.
void list_export_links(OutputSink* sink, const char* form, const char* password,
                       const char* query);

// "Back | Next" links to the pages `count` lines before and after `start`.
void list_paging_links(OutputSink* sink, const char* form, const char* password, int64_t count,
                       int64_t start);

// The heading row. Cuts every header name at its first "_" in the list
// itself (rows and queries then see the cut names); neighbouring columns
// with the same cut name share one heading.
void list_headings(OutputSink* sink, ParamList* header);

// The data rows: reads lines start + 1 to start + count (fewer when the file
// ends first) and writes every plain record that satisfies the query,
// numbered by its line after the header row.
void list_rows(OutputSink* sink, std::FILE* file, ParamList* header, const char* form,
               const char* query, const char* password, int64_t count, int64_t start);

}  // namespace fwk
