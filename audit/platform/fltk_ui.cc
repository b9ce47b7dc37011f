#include "audit/platform/fltk_ui.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Browser.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Tooltip.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <limits.h>
#include <stdlib.h>

#include "audit/platform/text_fit.h"

#include <algorithm>
#include <string>
#include <map>
#include <vector>

namespace plat {

namespace {

constexpr int kFontSize = 11;

// Dialog units to pixels for the dialogs' 8-point font.
int DluX(int v) { return v * 8 / 5; }
int DluY(int v) { return v * 13 / 8; }

// Repaints every window from scratch: while a run holds the dialog no expose
// events are handled, so what a closed box or dialog covered is drawn here.
void RepaintAll() {
  Fl::flush();
  if (fl_display) XSync(fl_display, False);  // closed windows are gone from the screen first
  for (Fl_Window* w = Fl::first_window(); w; w = Fl::next_window(w)) w->redraw();
  Fl::flush();
}

// Text drawn exactly as it stands: FLTK labels would take "@" as the start
// of a symbol. The box has no background of its own, so a changed text has
// its window redraw the box's area (background, frames, then the new text)
// and never lands on top of the old one. A fitted box lays its text out in
// the lines it has and, when the text is still too long, shows it shortened
// in the middle with the full text as its tooltip.
class LiteralBox : public Fl_Box {
 public:
  LiteralBox(int x, int y, int w, int h, Fl_Align align, bool fitted = false)
      : Fl_Box(x, y, w, h), align_(align), fitted_(fitted) {
    box(FL_NO_BOX);
  }
  void text(const std::string& t) {
    if (t == text_) return;
    text_ = t;
    if (fitted_) Fit();
    if (Fl_Window* win = window()) {
      win->damage(FL_DAMAGE_ALL, x(), y(), w(), h());  // window coordinates
    } else {
      redraw();
    }
  }
  const std::string& text() const { return text_; }
  // The lines drawn, for checks.
  const std::vector<std::string>& lines() const { return lines_; }

 protected:
  void draw() override {
    draw_box();
    fl_font(FL_HELVETICA, kFontSize);
    fl_color(active_r() ? FL_FOREGROUND_COLOR : fl_inactive(FL_FOREGROUND_COLOR));
    fl_push_clip(x(), y(), w(), h());
    if (fitted_) {
      if (fitWidth_ != w()) Fit();
      int lh = fl_height();
      for (size_t i = 0; i < lines_.size(); ++i)
        fl_draw(lines_[i].c_str(), x(), y() + static_cast<int>(i) * lh, w(), lh,
                FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_CLIP, nullptr, 0);
    } else {
      fl_draw(text_.c_str(), x(), y(), w(), h(), align_ | FL_ALIGN_INSIDE | FL_ALIGN_CLIP,
              nullptr, 0);
    }
    fl_pop_clip();
  }

 private:
  void Fit() {
    fl_font(FL_HELVETICA, kFontSize);
    int maxLines = std::max(1, h() / fl_height());
    FittedText fitted = FitText(text_, w(), maxLines, [](const std::string& s) {
      return fl_width(s.c_str(), static_cast<int>(s.size()));
    });
    lines_ = fitted.lines;
    fitWidth_ = w();
    copy_tooltip(fitted.shortened ? TooltipText(text_).c_str() : nullptr);
  }

  // The full text as a tooltip: in lines the screen can show (a path has no
  // spaces to wrap at), with "@" kept literal.
  static std::string TooltipText(const std::string& text) {
    int width = std::min(600, Fl::w() - 40);
    fl_font(Fl_Tooltip::font(), Fl_Tooltip::size());
    FittedText lines = FitText(text, width, 1000, [](const std::string& s) {
      return fl_width(s.c_str(), static_cast<int>(s.size()));
    });
    fl_font(FL_HELVETICA, kFontSize);
    std::string out;
    for (const std::string& line : lines.lines) {
      if (!out.empty()) out += '\n';
      for (char c : line) {
        out += c;
        if (c == '@') out += '@';
      }
    }
    return out;
  }

  std::string text_;
  Fl_Align align_;
  bool fitted_;
  std::vector<std::string> lines_;
  int fitWidth_ = -1;
};

// A frame with its caption in the top edge.
class GroupFrame : public Fl_Box {
 public:
  GroupFrame(int x, int y, int w, int h, const std::string& caption)
      : Fl_Box(x, y, w, h), caption_(caption) {
    box(FL_NO_BOX);
  }

 protected:
  void draw() override {
    int top = y() + kFontSize / 2;
    fl_draw_box(FL_ENGRAVED_FRAME, x(), top, w(), h() - kFontSize / 2, FL_BACKGROUND_COLOR);
    if (!caption_.empty()) {
      fl_font(FL_HELVETICA, kFontSize);
      int tw = static_cast<int>(fl_width(caption_.c_str())) + 6;
      fl_color(FL_BACKGROUND_COLOR);
      fl_rectf(x() + 6, y(), tw, kFontSize + 2);
      fl_color(FL_FOREGROUND_COLOR);
      fl_draw(caption_.c_str(), x() + 9, y(), tw, kFontSize + 2, FL_ALIGN_LEFT | FL_ALIGN_INSIDE,
              nullptr, 0);
    }
  }

 private:
  std::string caption_;
};

// The icons of the message boxes: a red stop sign or a blue question mark.
class MessageIcon : public Fl_Box {
 public:
  MessageIcon(int x, int y, bool question) : Fl_Box(x, y, 36, 36), question_(question) {
    box(FL_NO_BOX);
  }

 protected:
  void draw() override {
    fl_color(question_ ? fl_rgb_color(40, 90, 190) : fl_rgb_color(200, 30, 30));
    fl_pie(x(), y(), w(), h(), 0, 360);
    fl_color(FL_WHITE);
    if (question_) {
      fl_font(FL_HELVETICA_BOLD, 24);
      fl_draw("?", x(), y(), w(), h(), FL_ALIGN_CENTER, nullptr, 0);
    } else {
      fl_line_style(FL_SOLID | FL_CAP_ROUND, 4);
      fl_line(x() + 11, y() + 11, x() + w() - 12, y() + h() - 12);
      fl_line(x() + w() - 12, y() + 11, x() + 11, y() + h() - 12);
      fl_line_style(0);
    }
  }

 private:
  bool question_;
};

Fl_RGB_Image* MakeImage(const Image* img) {
  if (!img || img->w <= 0 || img->h <= 0) return nullptr;
  return new Fl_RGB_Image(img->rgba.data(), img->w, img->h, 4);
}

// The dialog's own menu, reached with the right mouse button anywhere on the
// dialog's background.
class ContextArea : public Fl_Box {
 public:
  ContextArea(int w, int h, CDialog& dlg) : Fl_Box(0, 0, w, h), dlg_(dlg) { box(FL_NO_BOX); }

  int handle(int event) override {
    if (event != FL_PUSH || Fl::event_button() != FL_RIGHT_MOUSE) return Fl_Box::handle(event);
    std::vector<Fl_Menu_Item> items;
    std::vector<UINT> ids;
    for (const MenuItem& m : dlg_.MenuItems()) {
      if (m.text.empty()) {
        if (!items.empty()) items.back().flags |= FL_MENU_DIVIDER;
        continue;
      }
      Fl_Menu_Item item = {};
      item.text = m.text.c_str();
      items.push_back(item);
      ids.push_back(m.id);
    }
    if (items.empty()) return 0;
    items.push_back(Fl_Menu_Item{});
    const Fl_Menu_Item* chosen = items.front().popup(Fl::event_x(), Fl::event_y());
    if (chosen) {
      UINT id = ids[static_cast<size_t>(chosen - items.data())];
      dlg_.OnSysCommand(id, 0);
    }
    return 1;
  }

 private:
  CDialog& dlg_;
};

class FltkView : public WindowView {
 public:
  FltkView(CDialog& dlg, const DialogTemplate& t, bool modal) : dlg_(dlg) {
    int W = DluX(t.w), H = DluY(t.h);
    win_ = new Fl_Double_Window((Fl::w() - W) / 2, (Fl::h() - H) / 2, W, H);
    win_->copy_label(t.caption.c_str());
    win_->box(FL_UP_BOX);  // a visible edge also where no window manager draws one
    win_->begin();
    new ContextArea(W, H, dlg);
    for (const ControlDef& c : t.controls) AddControl(c);
    win_->end();
    win_->callback(&FltkView::OnClose, this);
    icon_.reset(MakeImage(dlg.GetIcon()));
    if (icon_) win_->icon(icon_.get());
    if (modal) win_->set_modal();
    for (auto& [id, w] : widgets_) Refresh(id);
    win_->show();
    Fl::flush();
  }

  ~FltkView() override {
    win_->hide();
    delete win_;
    RepaintAll();
  }

  void Refresh(int id) override {
    auto it = widgets_.find(id);
    if (it == widgets_.end()) return;
    Fl_Widget* w = it->second;
    switch (kinds_[id]) {
      case CtlKind::Label:
      case CtlKind::Text:
        static_cast<LiteralBox*>(w)->text(dlg_.GetDlgItemText(id));
        break;
      case CtlKind::Edit: {
        auto* in = static_cast<Fl_Input*>(w);
        std::string t = dlg_.GetDlgItemText(id);
        if (t != in->value()) {
          in->value(t.c_str());
          in->position(0);  // a long text shows from its beginning
        }
        break;
      }
      case CtlKind::Check:
        static_cast<Fl_Check_Button*>(w)->value(dlg_.IsDlgButtonChecked(id) ? 1 : 0);
        break;
      case CtlKind::List: {
        auto* b = static_cast<Fl_Browser*>(w);
        CListBox* list = dlg_.BoundList(id);
        if (!list) break;
        const auto& lines = list->Lines();
        if (b->size() > static_cast<int>(lines.size())) b->clear();
        for (size_t i = static_cast<size_t>(b->size()); i < lines.size(); ++i)
          b->add(lines[i].c_str());
        if (!lines.empty()) b->topline(list->GetTopIndex() + 1);
        b->redraw();
        break;
      }
      default: break;
    }
    Fl::flush();  // shows progress while a run holds the dialog
  }

  void RefreshIcon() override {
    icon_.reset(MakeImage(dlg_.GetIcon()));
    if (icon_) win_->icon(icon_.get());
  }

  Fl_Double_Window* window() { return win_; }

 private:
  static void OnClose(Fl_Widget*, void* data) {
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() != FL_Escape) return;
    static_cast<FltkView*>(data)->dlg_.OnCancel();
  }
  static void OnButton(Fl_Widget* w, void* data) {
    auto* self = static_cast<FltkView*>(data);
    self->dlg_.OnCommand(self->ids_[w]);
  }
  static void OnEdit(Fl_Widget* w, void* data) {
    auto* self = static_cast<FltkView*>(data);
    self->dlg_.ControlEdited(self->ids_[w], static_cast<Fl_Input*>(w)->value());
  }
  static void OnCheck(Fl_Widget* w, void* data) {
    auto* self = static_cast<FltkView*>(data);
    self->dlg_.ControlChecked(self->ids_[w], static_cast<Fl_Check_Button*>(w)->value());
  }

  void AddControl(const ControlDef& c) {
    int x = DluX(c.x), y = DluY(c.y), w = DluX(c.w), h = DluY(c.h);
    Fl_Widget* widget = nullptr;
    switch (c.kind) {
      case CtlKind::Label:
      case CtlKind::Text: {
        auto* box = new LiteralBox(x, y, w, h, FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_WRAP,
                                   c.kind == CtlKind::Text);
        box->text(c.text);
        widget = box;
        break;
      }
      case CtlKind::Group: new GroupFrame(x, y, w, h, c.text); break;
      case CtlKind::Edit: {
        auto* in = new Fl_Input(x, y, w, h);
        in->textsize(kFontSize);
        in->when(FL_WHEN_CHANGED);
        in->callback(&FltkView::OnEdit, this);
        widget = in;
        break;
      }
      case CtlKind::Check: {
        auto* cb = new Fl_Check_Button(x, y, w, h);
        cb->copy_label(c.text.c_str());
        cb->labelsize(kFontSize);
        cb->callback(&FltkView::OnCheck, this);
        widget = cb;
        break;
      }
      case CtlKind::Button:
      case CtlKind::DefButton: {
        Fl_Button* b = c.kind == CtlKind::DefButton ? new Fl_Return_Button(x, y, w, h)
                                                    : new Fl_Button(x, y, w, h);
        b->copy_label(c.text.c_str());
        b->labelsize(kFontSize);
        b->callback(&FltkView::OnButton, this);
        widget = b;
        break;
      }
      case CtlKind::List: {
        auto* b = new Fl_Browser(x, y, w, h);
        b->type(FL_NORMAL_BROWSER);
        b->format_char(0);  // lines are shown exactly as they stand
        b->textsize(kFontSize);
        b->has_scrollbar(Fl_Browser_::VERTICAL_ALWAYS);
        widget = b;
        break;
      }
      case CtlKind::Picture: {
        auto* box = new Fl_Box(x, y, w, h);
        box->box(FL_NO_BOX);
        Fl_RGB_Image* img = MakeImage(LoadIcon(c.resource));
        if (img) {
          images_.emplace_back(img);
          box->image(img);
          box->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT);
        }
        break;
      }
    }
    if (widget && c.id >= 0) {
      ids_[widget] = c.id;
      widgets_[c.id] = widget;
      kinds_[c.id] = c.kind;
    }
  }

  CDialog& dlg_;
  Fl_Double_Window* win_;
  std::map<int, Fl_Widget*> widgets_;
  std::map<Fl_Widget*, int> ids_;
  std::map<int, CtlKind> kinds_;
  std::unique_ptr<Fl_RGB_Image> icon_;
  std::vector<std::unique_ptr<Fl_RGB_Image>> images_;
};

}  // namespace

FltkUi::FltkUi() {
  Fl::scheme("gtk+");
  Fl::visual(FL_DOUBLE | FL_INDEX);
}

std::unique_ptr<WindowView> FltkUi::OpenWindow(CDialog& dlg, const DialogTemplate& t,
                                               bool modal) {
  return std::make_unique<FltkView>(dlg, t, modal);
}

void FltkUi::RunModal(CDialog& dlg) {
  while (!dlg.Ended() && Fl::first_window()) Fl::wait();
  if (!dlg.Ended()) dlg.EndDialog(IDCANCEL);
}

int FltkUi::MessageBox(const std::string& text, const std::string& caption, UINT style) {
  bool yesNo = (style & MB_TYPEMASK) == MB_YESNO;
  UINT icon = style & MB_ICONMASK;
  bool hasIcon = icon == MB_ICONHAND || icon == MB_ICONQUESTION;

  fl_font(FL_HELVETICA, kFontSize);
  int tw = 0, th = 0;
  fl_measure(text.c_str(), tw, th, 0);
  tw = std::max(tw, 160);
  int left = hasIcon ? 62 : 16;
  int W = std::min(left + tw + 20, Fl::w() - 40);
  int textH = std::max(th, hasIcon ? 36 : 0);
  int H = 16 + textH + 16 + 26 + 12;

  Fl_Double_Window win((Fl::w() - W) / 2, (Fl::h() - H) / 2, W, H);
  win.copy_label(caption.c_str());
  win.box(FL_UP_BOX);
  int answer = 0;
  win.begin();
  if (hasIcon) new MessageIcon(16, 16, icon == MB_ICONQUESTION);
  auto* box = new LiteralBox(left, 16, W - left - 12, textH,
                             FL_ALIGN_LEFT | FL_ALIGN_WRAP | (hasIcon ? FL_ALIGN_CENTER : 0));
  box->text(text);
  struct Press {
    int* answer;
    int value;
  };
  Press yes{&answer, IDYES}, no{&answer, IDNO}, ok{&answer, IDOK};
  auto press = [](Fl_Widget*, void* d) {
    auto* p = static_cast<Press*>(d);
    *p->answer = p->value;
  };
  int by = H - 12 - 26;
  if (yesNo) {
    auto* y = new Fl_Return_Button(W / 2 - 88, by, 80, 26, "Yes");
    y->labelsize(kFontSize);
    y->callback(press, &yes);
    auto* n = new Fl_Button(W / 2 + 8, by, 80, 26, "No");
    n->labelsize(kFontSize);
    n->callback(press, &no);
  } else {
    auto* o = new Fl_Return_Button(W / 2 - 40, by, 80, 26, "OK");
    o->labelsize(kFontSize);
    o->callback(press, &ok);
  }
  win.end();
  // A question box can only be answered; an OK box may also be closed.
  win.callback(yesNo ? static_cast<Fl_Callback*>([](Fl_Widget*, void*) {}) : press,
               yesNo ? nullptr : &ok);
  win.set_modal();
  win.show();
  while (answer == 0 && win.shown()) Fl::wait();
  win.hide();
  RepaintAll();
  return answer ? answer : (yesNo ? IDNO : IDOK);
}

int FltkUi::BrowseForFolder(const std::string& title, const std::string& initialFolder,
                            std::string* chosen) {
  std::string start = initialFolder.empty() ? "." : initialFolder;
  Fl_File_Chooser chooser(start.c_str(), "*", Fl_File_Chooser::DIRECTORY, title.c_str());
  chooser.preview(0);
  chooser.show();
  while (chooser.shown()) Fl::wait();
  RepaintAll();
  const char* value = chooser.value();
  if (!value || !*value) return IDCANCEL;
  char real[PATH_MAX];
  if (!realpath(value, real)) return IDCANCEL;
  *chosen = real;
  return IDOK;
}

void FltkUi::Beep() { fl_beep(FL_BEEP_ERROR); }

}  // namespace plat
