// The Maildir side of mail_source.hpp.
#include "collect/mail_source.hpp"
#include "collect/imap_session.hpp"

#include <algorithm>

#include "platform/dirsearch.hpp"
#include "platform/durable_file.hpp"
#include "platform/file_info.hpp"
#include "platform/file_move.hpp"

namespace fwk {

namespace {

constexpr const char* kDoneFolder = ".done";

void list_folder(const std::string& maildir, const char* folder, std::vector<MailRef>* mails) {
  for (const std::string& name : dir_search(maildir + folder, "*")) {
    if (name.empty() || name[0] == '.') continue;
    MailRef mail;
    mail.id = std::string(folder) + "/" + name;
    if (!file_modified_us(maildir + mail.id, &mail.received_us)) continue;
    mails->push_back(std::move(mail));
  }
}

// The name a mail gets in the done folder's cur/: marked seen.
std::string done_name(const std::string& id) {
  std::string name = id.substr(id.find('/') + 1);
  if (name.find(":2,") == std::string::npos) name += ":2,S";
  return name;
}

bool make_done_folder(const std::string& maildir) {
  const std::string done = maildir + kDoneFolder;
  return directory_make(done) && directory_make(done + "/cur") && directory_make(done + "/new") &&
         directory_make(done + "/tmp");
}

}  // namespace

bool mail_source_open_maildir(const std::string& dir, MailSource* source, std::string* error) {
  std::string maildir = dir.empty() || dir.back() == '/' ? dir : dir + "/";
  if (!directory_readable(maildir + "new") || !directory_readable(maildir + "cur")) {
    *error = dir + " is not a Maildir folder (it needs new/ and cur/)";
    return false;
  }
  source->maildir = maildir;
  return true;
}

bool mail_source_list(MailSource& source, std::vector<MailRef>* mails, size_t* others,
                      std::string* error) {
  mails->clear();
  *others = 0;
  if (source.imap) return imap_list(*source.imap, mails, others, error);
  list_folder(source.maildir, "new", mails);
  list_folder(source.maildir, "cur", mails);
  std::stable_sort(mails->begin(), mails->end(), [](const MailRef& a, const MailRef& b) {
    return a.received_us < b.received_us;
  });
  return true;
}

MailRead mail_source_read(MailSource& source, const MailRef& mail, std::string* bytes,
                          std::string* error) {
  if (source.imap) return imap_fetch(*source.imap, mail.id, bytes, error);
  const std::string path = source.maildir + mail.id;
  if (file_read_whole(path.c_str(), bytes)) return MailRead::ok;
  if (!file_info(path.c_str()).exists) return MailRead::gone;
  *error = "cannot read " + path;
  return MailRead::failed;
}

size_t mail_source_mark_done(MailSource& source, const std::vector<const MailRef*>& mails,
                             std::string* error) {
  if (mails.empty()) return 0;
  if (source.imap) return imap_move_done(*source.imap, mails, error) ? 0 : mails.size();
  if (!make_done_folder(source.maildir)) {
    *error = "cannot make the folder " + source.maildir + kDoneFolder;
    return mails.size();
  }
  const std::string target = source.maildir + kDoneFolder + "/cur/";
  size_t failed = 0;
  for (const MailRef* mail : mails) {
    if (file_move(source.maildir + mail->id, target + done_name(mail->id)) == MoveResult::failed)
      ++failed;
  }
  directory_flush(target);
  directory_flush(source.maildir + "new");
  directory_flush(source.maildir + "cur");
  if (failed > 0) *error = "cannot move " + std::to_string(failed) + " mails to " + target;
  return failed;
}

bool mail_source_open_imap(const ImapSettings& settings, MailSource* source, std::string* error) {
  source->maildir.clear();
  return imap_open(settings, &source->imap, error);
}

std::string mail_source_name(const MailSource& source) {
  return source.imap ? imap_name(*source.imap) : source.maildir;
}

}  // namespace fwk
