#include "collect/root_store.hpp"

#include <algorithm>
#include <cstdio>

#include "core/connection.hpp"
#include "core/plist.hpp"
#include "core/stamp.hpp"
#include "core/text_util.hpp"
#include "forms/form_config.hpp"
#include "platform/dirsearch.hpp"
#include "platform/durable_file.hpp"
#include "platform/file_info.hpp"
#include "store/datafile.hpp"
#include "store/datafile_append.hpp"

namespace fwk {

namespace {

constexpr const char* kLockName = "collect.lock";
constexpr const char* kCollectorColumns[] = {kSessionColumn, kDeviceColumn, kSavedColumn,
                                             kReceivedColumn};
// A form's own field named like one of the collector's columns is kept
// under its name with this added.
constexpr const char* kRenamedSuffix = "_FORM";

bool fail_with(std::string* problem, std::string text) {
  *problem = std::move(text);
  return false;
}

bool same_name(const std::string& a, const std::string& b) {
  return text_compare_nocase(a.c_str(), b.c_str()) == 0;
}

bool is_collector_column(const std::string& name) {
  for (const char* column : kCollectorColumns) {
    if (same_name(name, column)) return true;
  }
  return false;
}

// The column an answer goes to: "" for none. Names the engine keeps to
// itself ("_...") and empty ones have no column; a TAB or a line break
// would break the header row and a leading "#" is not read back, so they
// are left out of the name.
std::string column_for(const std::string& name) {
  if (name.empty() || name[0] == '_') return "";
  std::string column;
  for (char c : name) {
    if (c == '\r' || c == '\n') continue;
    column.push_back(c == '\t' ? ' ' : c);
  }
  size_t hashes = column.find_first_not_of('#');
  column.erase(0, hashes == std::string::npos ? column.size() : hashes);
  if (column.empty() || column[0] == '_') return "";
  if (is_collector_column(column)) column += kRenamedSuffix;
  return column;
}

// Columns that do not take part in the content digest.
bool column_is_no_answer(const std::string& name) {
  return is_collector_column(name) || response_name_is_stamp(name);
}

size_t column_index(const std::vector<std::string>& columns, const char* name) {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (same_name(columns[i], name)) return i;
  }
  return columns.size();
}

// The digest of a record's answers from its column values (absent or ""
// values leave no trace, so added columns change nothing).
std::string row_content(const std::vector<std::string>& columns,
                        const std::vector<std::string>& values) {
  std::string text;
  for (size_t i = 0; i < columns.size() && i < values.size(); ++i) {
    if (values[i].empty() || column_is_no_answer(columns[i])) continue;
    digest_part(text, columns[i]);
    digest_part(text, values[i]);
  }
  return content_digest(text);
}

ParamListPtr header_list(const std::vector<std::string>& columns) {
  ParamListPtr list = plist_alloc(columns.size());
  for (size_t i = 0; i < columns.size(); ++i) pair_set_name(*plist_at(list.get(), i), columns[i].c_str());
  return list;
}

// The values of a record line as a reader gets them back.
std::vector<std::string> line_values(const std::string& line) {
  std::vector<std::string> values;
  size_t at = 0;
  while (at < line.size() && line[at] != '\r' && line[at] != '\n') {
    size_t tab = line.find('\t', at);
    if (tab == std::string::npos) break;
    values.push_back(datafile_unquote(line.substr(at, tab - at)));
    at = tab + 1;
  }
  return values;
}

// The record of an arrival as a list of entries: the answers (each under
// its column) and the collector's columns.
ParamListPtr arrival_record(const Arrival& arrival) {
  const ResponseRecord& record = arrival.record;
  ParamListPtr list = plist_alloc(record.answers.size() + 4);
  size_t used = 0;
  auto add = [&](const std::string& name, const std::string& value) {
    Pair* entry = plist_at(list.get(), used++);
    pair_set_name(*entry, name.c_str());
    pair_set_value(*entry, value.c_str());
  };
  for (const ResponseEntry& entry : record.answers) {
    std::string column = column_for(entry.first);
    if (!column.empty()) add(column, entry.second);
  }
  add(kSessionColumn, record.session);
  add(kDeviceColumn, record.device);
  add(kSavedColumn, record.saved);
  add(kReceivedColumn, utc_stamp_text(arrival.received_us, false));
  plist_resize(*list, used);
  return list;
}

std::string header_row(const std::vector<std::string>& columns) {
  std::string row;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) row.push_back('\t');
    row += columns[i];
  }
  return row + "\n";
}

// A data file whose last line was cut by a stop mid-write ends without its
// line feed: that line's mail was not marked processed, so the line goes.
bool cut_torn_tail(RootForm& form, std::string* problem) {
  char last = '\n';
  if (!file_read_last_byte(form.path.c_str(), &last) || last == '\n') return true;
  std::string bytes;
  if (!file_read_whole(form.path.c_str(), &bytes)) return fail_with(problem, "cannot read " + form.path);
  size_t end = bytes.rfind('\n');
  if (end == std::string::npos) return fail_with(problem, form.path + " has no header row");
  if (durable_cut_back(form.path.c_str(), static_cast<int64_t>(end + 1)) != DurableResult::ok)
    return fail_with(problem, "cannot repair the end of " + form.path);
  return true;
}

// Keeps the later of two live records of a session; the other is retired.
void note_live(RootForm& form, const std::string& session, RootLive row) {
  auto found = form.live.find(session);
  if (found == form.live.end()) {
    form.live.emplace(session, std::move(row));
    return;
  }
  if (response_verdict(&found->second.version, row.version) == Verdict::stored) {
    form.repairs.push_back(found->second.position);
    found->second = std::move(row);
  } else {
    form.repairs.push_back(row.position);
  }
}

bool read_rows(RootForm& form, std::string* problem) {
  FilePtr owned;
  ParamListPtr header;
  if (!datafile_open(form.path.c_str(), &owned, &header, 0))
    return fail_with(problem, "cannot read the header row of " + form.path);
  form.columns.clear();
  plist_each(header.get(), [&](const Pair& column) { form.columns.push_back(*column.name); });
  const size_t session_at = column_index(form.columns, kSessionColumn);
  const size_t saved_at = column_index(form.columns, kSavedColumn);
  std::vector<std::string> values;
  for (;;) {
    const long start = std::ftell(owned.get());
    if (start < 0 || start >= form.size) break;
    int kind = kRecordPlain;
    datafile_read_record(owned.get(), header.get(), &kind);
    if (kind != kRecordPlain || session_at >= form.columns.size()) continue;
    values.clear();
    plist_each(header.get(), [&](const Pair& field) {
      values.push_back(field.value ? *field.value : std::string());
    });
    const std::string& session = values[session_at];
    if (session.empty()) continue;
    RootLive row;
    row.position = start;
    row.version.saved = saved_at < values.size() ? values[saved_at] : "";
    row.version.content = row_content(form.columns, values);
    note_live(form, session, std::move(row));
  }
  return true;
}

bool load_form(const std::string& root, const std::string& name, RootForm& form,
               std::string* problem) {
  FormConfig config = form_config_read(root, name);
  const std::string ini = root + name + ".ini";
  if (!file_info(ini.c_str()).exists) {
    const std::string text = root_form_ini_text(name);
    if (durable_replace(ini.c_str(), text.data(), text.size()) != DurableResult::ok)
      return fail_with(problem, "cannot write " + ini);
    config = form_config_read(root, name);
  }
  if (config.data_path.empty()) return fail_with(problem, "the data file's name of " + name + " is too long");
  form.path = config.data_path;
  FileInfo info = file_info(form.path.c_str());
  form.exists = info.exists;
  if (!form.exists) return true;
  if (!cut_torn_tail(form, problem)) return false;
  form.size = file_info(form.path.c_str()).size;
  return read_rows(form, problem);
}

// Adds the columns the batch needs (a new file gets its header row);
// records already in the file keep their place, shifted by the change in
// the header row's length.
bool ensure_columns(RootForm& form, const std::vector<const Arrival*>& arrivals,
                    std::string* problem) {
  std::vector<std::string> added;
  auto need = [&](const std::string& name) {
    if (name.empty() || column_index(form.columns, name.c_str()) < form.columns.size()) return;
    for (const std::string& known : added) {
      if (same_name(known, name)) return;
    }
    added.push_back(name);
  };
  for (const Arrival* arrival : arrivals) {
    for (const ResponseEntry& entry : arrival->record.answers) need(column_for(entry.first));
  }
  for (const char* column : kCollectorColumns) need(column);
  if (added.empty()) return true;
  std::vector<std::string> columns = form.columns;
  columns.insert(columns.end(), added.begin(), added.end());
  std::string bytes = header_row(columns);
  if (form.exists) {
    std::string old_bytes;
    if (!file_read_whole(form.path.c_str(), &old_bytes))
      return fail_with(problem, "cannot read " + form.path);
    const size_t body = old_bytes.find('\n');
    if (body == std::string::npos) return fail_with(problem, form.path + " has no header row");
    bytes.append(old_bytes, body + 1, std::string::npos);
    const int64_t shift = static_cast<int64_t>(bytes.size()) - static_cast<int64_t>(old_bytes.size());
    for (auto& [session, row] : form.live) row.position += shift;
    for (int64_t& position : form.repairs) position += shift;
  }
  if (durable_replace(form.path.c_str(), bytes.data(), bytes.size()) != DurableResult::ok)
    return fail_with(problem, "cannot write " + form.path);
  form.columns = std::move(columns);
  form.exists = true;
  form.size = static_cast<int64_t>(bytes.size());
  return true;
}

// Decides and writes the arrivals of one form. On a failure to write, the
// whole group fails (a decision may have counted on a record that did not
// reach the file) and the form is read again next time.
void put_form(RootStore& store, const std::string& name, const std::vector<size_t>& indexes,
              const std::vector<Arrival>& batch, std::vector<StoreOutcome>& outcomes) {
  auto fail_all = [&](const std::string& problem) {
    for (size_t i : indexes) outcomes[i] = {Verdict::failed, problem};
    store.forms.erase(name);
  };
  if (!form_name_safe(name)) {
    for (size_t i : indexes) outcomes[i] = {Verdict::failed, "the form name is not usable: " + name};
    return;
  }
  std::string problem;
  auto [found, fresh] = store.forms.try_emplace(name);
  RootForm& form = found->second;
  if (fresh && !load_form(store.root, name, form, &problem)) return fail_all(problem);
  std::vector<const Arrival*> arrivals;
  for (size_t i : indexes) arrivals.push_back(&batch[i]);
  if (!ensure_columns(form, arrivals, &problem)) return fail_all(problem);

  ParamListPtr header = header_list(form.columns);
  std::string pending;
  std::vector<int64_t> marks = std::move(form.repairs);
  form.repairs.clear();
  for (size_t i : indexes) {
    const Arrival& arrival = batch[i];
    ParamListPtr record = arrival_record(arrival);
    std::string line = datafile_record_line(*header, record.get());
    RootLive row;
    row.position = form.size + static_cast<int64_t>(pending.size());
    row.version.saved = arrival.record.saved;
    row.version.content = row_content(form.columns, line_values(line));
    auto live = form.live.find(arrival.record.session);
    const Verdict verdict =
        response_verdict(live == form.live.end() ? nullptr : &live->second.version, row.version);
    outcomes[i] = {verdict, ""};
    if (verdict != Verdict::stored) continue;
    pending += line;
    if (live != form.live.end()) {
      marks.push_back(live->second.position);
      live->second = std::move(row);
    } else {
      form.live.emplace(arrival.record.session, std::move(row));
    }
  }
  if (pending.empty() && marks.empty()) return;
  if (!pending.empty()) {
    int64_t offset = 0;
    if (durable_append_existing(form.path.c_str(), pending.data(), pending.size(), &offset) !=
        DurableResult::ok)
      return fail_all("cannot write to " + form.path);
    if (offset != form.size) {
      // Someone else appended meanwhile: what this batch placed moves along.
      for (auto& [session, row] : form.live) {
        if (row.position >= form.size) row.position += offset - form.size;
      }
      for (int64_t& position : marks) {
        if (position >= form.size) position += offset - form.size;
      }
    }
    form.size = offset + static_cast<int64_t>(pending.size());
  }
  // A mark that cannot be written leaves a record live beside its later one;
  // the next reading of the file retires it.
  std::sort(marks.begin(), marks.end());
  durable_put_bytes(form.path.c_str(), marks, '#');
}

}  // namespace

std::string root_form_ini_text(const std::string& form) {
  return "; Written by formwick-collect for the responses of the form \"" + form +
         "\"\n; collected from the devices' mail. It is not changed again: edit it freely.\n"
         "; Nobody may read the responses over HTTP until a section named access\n"
         "; gives a password, e.g. PWDREAD=secret (see the operator's guide).\n"
         "[DATABASE]\nTitle=" + form + "\nDescription=Responses collected from the devices\n"
         "ACTIVE=0\nSAVEDATA=0\n";
}

bool root_store_open(const std::string& root, RootStore* store, std::string* error) {
  store->root = root.empty() || root.back() == '/' ? root : root + "/";
  if (!directory_exists(store->root)) {
    *error = "the server root " + root + " is not a directory";
    return false;
  }
  store->lock = file_lock_open(store->root + kLockName);
  if (!file_lock_take(store->lock, 0, true)) {
    *error = "cannot lock " + store->root + kLockName;
    return false;
  }
  store->forms.clear();
  return true;
}

std::vector<StoreOutcome> root_store_put(RootStore& store, const std::vector<Arrival>& batch) {
  std::vector<StoreOutcome> outcomes(batch.size());
  std::map<std::string, std::vector<size_t>> by_form;
  for (size_t i = 0; i < batch.size(); ++i) by_form[batch[i].record.form].push_back(i);
  for (const auto& [name, indexes] : by_form) put_form(store, name, indexes, batch, outcomes);
  return outcomes;
}

void root_store_close(RootStore& store) {
  store.forms.clear();
  if (store.lock.file) file_lock_give(store.lock, 0);
  store.lock = FileLock();
}

}  // namespace fwk
