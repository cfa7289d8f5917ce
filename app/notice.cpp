#include "app/notice.h"

#include <cstring>

#include "common/text.h"

namespace {

// Appends pieces until one is cut; after that nothing more goes in, so the
// notice never continues after a gap.
class NoticeWriter {
 public:
  NoticeWriter(char* out, size_t size) : out_(out), size_(size) { out_[0] = '\0'; }
  void Append(const char* text, size_t length) {
    if (complete_) complete_ = AppendTextCut(out_, size_, text, length);
  }
  void Append(const char* text) { Append(text, std::strlen(text)); }
  bool Complete() const { return complete_; }

 private:
  char* out_;
  size_t size_;
  bool complete_ = true;
};

}  // namespace

bool ComposeUninstallNotice(char* out, size_t size, const char* first_line,
                            const char* second_line, const char* path) {
  if (size == 0) return false;
  NoticeWriter notice(out, size);
  notice.Append(first_line);
  notice.Append("\n");
  if (!IsSafeStringFormat(second_line)) {
    notice.Append(second_line);
    return notice.Complete();
  }
  const char* run = second_line;
  for (const char* p = second_line; *p; ++p) {
    if (*p != '%') continue;
    notice.Append(run, static_cast<size_t>(p - run));
    ++p;
    if (*p == '%')
      notice.Append("%");
    else
      notice.Append(path);
    run = p + 1;
  }
  notice.Append(run);
  return notice.Complete();
}
