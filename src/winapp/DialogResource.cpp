#include "winapp/DialogResource.h"

namespace {

// DS_SETFONT and DS_SHELLFONT (DS_SETFONT | DS_FIXEDSYS): the template
// carries a font.
constexpr std::uint32_t kSetFont = 0x40;

class Reader {
 public:
  Reader(const unsigned char* data, std::size_t size) : m_data(data), m_size(size) {}

  bool ok() const { return m_ok; }

  std::uint16_t U16() {
    if (m_pos + 2 > m_size) return Fail();
    const std::uint16_t v =
        static_cast<std::uint16_t>(m_data[m_pos] | (static_cast<unsigned>(m_data[m_pos + 1]) << 8));
    m_pos += 2;
    return v;
  }
  std::uint32_t U32() {
    const std::uint32_t low = U16();
    return low | (static_cast<std::uint32_t>(U16()) << 16);
  }
  std::uint8_t U8() {
    if (m_pos + 1 > m_size) return static_cast<std::uint8_t>(Fail());
    return m_data[m_pos++];
  }
  std::int16_t I16() { return static_cast<std::int16_t>(U16()); }

  // A text up to its terminating zero.
  std::u16string Text() {
    std::u16string text;
    for (std::uint16_t c = U16(); m_ok && c != 0; c = U16())
      text.push_back(static_cast<char16_t>(c));
    return text;
  }
  SzOrOrd NameOrNumber() {
    SzOrOrd v;
    const std::uint16_t first = U16();
    if (first == 0xFFFF) {
      v.isOrdinal = true;
      v.ordinal = U16();
    } else if (first != 0) {
      v.text.push_back(static_cast<char16_t>(first));
      v.text += Text();
    }
    return v;
  }
  void Bytes(std::size_t n, std::vector<unsigned char>* out) {
    if (m_pos + n > m_size) {
      Fail();
      return;
    }
    out->assign(m_data + m_pos, m_data + m_pos + n);
    m_pos += n;
  }
  void AlignTo4() { m_pos = (m_pos + 3) & ~static_cast<std::size_t>(3); }

 private:
  std::uint16_t Fail() {
    m_ok = false;
    m_pos = m_size;
    return 0;
  }

  const unsigned char* m_data;
  std::size_t m_size;
  std::size_t m_pos = 0;
  bool m_ok = true;
};

class Writer {
 public:
  void U16(std::uint16_t v) {
    m_bytes.push_back(static_cast<unsigned char>(v & 0xFF));
    m_bytes.push_back(static_cast<unsigned char>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v & 0xFFFF));
    U16(static_cast<std::uint16_t>(v >> 16));
  }
  void U8(std::uint8_t v) { m_bytes.push_back(v); }
  void I16(std::int16_t v) { U16(static_cast<std::uint16_t>(v)); }
  void Text(const std::u16string& text) {
    for (const char16_t c : text) U16(static_cast<std::uint16_t>(c));
    U16(0);
  }
  void NameOrNumber(const SzOrOrd& v) {
    if (v.isOrdinal) {
      U16(0xFFFF);
      U16(v.ordinal);
    } else {
      Text(v.text);
    }
  }
  void Bytes(const std::vector<unsigned char>& bytes) {
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
  }
  void AlignTo4() {
    while (m_bytes.size() % 4 != 0) m_bytes.push_back(0);
  }
  std::vector<unsigned char> Take() { return std::move(m_bytes); }

 private:
  std::vector<unsigned char> m_bytes;
};

}  // namespace

bool ParseDialogEx(const unsigned char* data, std::size_t size, DialogResource* dialog) {
  *dialog = DialogResource();
  Reader in(data, size);
  if (in.U16() != 1 || in.U16() != 0xFFFF) return false;  // version 1, the extended form
  dialog->helpId = in.U32();
  dialog->exStyle = in.U32();
  dialog->style = in.U32();
  const std::uint16_t count = in.U16();
  dialog->x = in.I16();
  dialog->y = in.I16();
  dialog->cx = in.I16();
  dialog->cy = in.I16();
  dialog->menu = in.NameOrNumber();
  dialog->windowClass = in.NameOrNumber();
  dialog->title = in.Text();
  if (dialog->style & kSetFont) {
    dialog->pointSize = in.U16();
    dialog->weight = in.U16();
    dialog->italic = in.U8();
    dialog->charset = in.U8();
    dialog->typeface = in.Text();
  }
  for (std::uint16_t i = 0; i < count && in.ok(); ++i) {
    in.AlignTo4();
    DialogItemResource item;
    item.helpId = in.U32();
    item.exStyle = in.U32();
    item.style = in.U32();
    item.x = in.I16();
    item.y = in.I16();
    item.cx = in.I16();
    item.cy = in.I16();
    item.id = static_cast<std::int32_t>(in.U32());
    item.windowClass = in.NameOrNumber();
    item.title = in.NameOrNumber();
    in.Bytes(in.U16(), &item.extra);
    dialog->items.push_back(std::move(item));
  }
  return in.ok();
}

std::vector<unsigned char> DialogExBytes(const DialogResource& dialog) {
  Writer out;
  out.U16(1);
  out.U16(0xFFFF);
  out.U32(dialog.helpId);
  out.U32(dialog.exStyle);
  out.U32(dialog.style);
  out.U16(static_cast<std::uint16_t>(dialog.items.size()));
  out.I16(dialog.x);
  out.I16(dialog.y);
  out.I16(dialog.cx);
  out.I16(dialog.cy);
  out.NameOrNumber(dialog.menu);
  out.NameOrNumber(dialog.windowClass);
  out.Text(dialog.title);
  if (dialog.style & kSetFont) {
    out.U16(dialog.pointSize);
    out.U16(dialog.weight);
    out.U8(dialog.italic);
    out.U8(dialog.charset);
    out.Text(dialog.typeface);
  }
  for (const DialogItemResource& item : dialog.items) {
    out.AlignTo4();
    out.U32(item.helpId);
    out.U32(item.exStyle);
    out.U32(item.style);
    out.I16(item.x);
    out.I16(item.y);
    out.I16(item.cx);
    out.I16(item.cy);
    out.U32(static_cast<std::uint32_t>(item.id));
    out.NameOrNumber(item.windowClass);
    out.NameOrNumber(item.title);
    out.U16(static_cast<std::uint16_t>(item.extra.size()));
    out.Bytes(item.extra);
  }
  return out.Take();
}
