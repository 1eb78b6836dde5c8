// SPDX-License-Identifier: MIT
// A form (window) and its controls as the core holds them. The core is the only writer of these
// properties; a backend binds one native widget to each control and redraws on every change.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/types.h"

namespace velmora {

enum class ControlKind : std::uint8_t {
    Label,      // static caption
    TextField,  // single-line text the program writes; takes no input
    EditBox,    // single-line text the user may edit
    Picture,    // stretches its picture to fill the box
    List,       // list box
    Button,     // push button
    Frame,      // captioned group box; children are placed relative to it
    Swatch,     // filled rectangle showing one colour (its back colour)
};

// Which property of a control (or of the form itself) changed.
enum class Property : std::uint8_t {
    Geometry,
    Font,
    ForeColour,
    BackColour,
    Text,
    Picture,
    Items,
    Visible,
    Enabled,
};

// How a label or text field sets its text inside its box.
enum class Alignment : std::uint8_t { Centre, Left };

struct Font {
    std::string name = "Arial";  // empty: the platform's default dialog font
    float size = 8.25f;          // points
    int weight = 400;
};

// A decoded picture. Each backend derives its own (its native image).
class Picture {
  public:
    virtual ~Picture() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
};
using PictureRef = std::shared_ptr<const Picture>;

struct Control {
    std::string name;
    ControlKind kind = ControlKind::Label;
    float left = 0;  // twips; relative to the container when there is one
    float top = 0;
    float width = 0;
    float height = 0;
    Font font;
    Colour foreColour = 0;
    Colour backColour = 0;
    std::string text;  // caption or contents
    PictureRef picture;
    std::vector<std::string> items;
    Alignment alignment = Alignment::Centre;
    bool visible = true;
    bool enabled = true;
    int container = -1;  // index of the frame holding this control, or -1
    int tabIndex = -1;   // place in the keyboard order, or -1 when not a tab stop
};

class FormObserver {
  public:
    virtual ~FormObserver() = default;
    // control is an index into the form, or -1 for the form itself.
    virtual void changed(int control, Property what) = 0;
};

class Form {
  public:
    std::string name;
    std::string caption;
    float width = 0;  // outline, twips
    float height = 0;
    float clientWidth = 0;
    float clientHeight = 0;

    int add(Control control);
    int count() const { return static_cast<int>(controls_.size()); }
    const Control& control(int index) const { return controls_.at(static_cast<size_t>(index)); }
    const Control& operator[](int index) const { return control(index); }
    int find(const std::string& name) const;  // -1 when absent

    Colour backColour() const { return backColour_; }
    void setBackColour(Colour colour);

    void setLeft(int index, float value) { set(index, &Control::left, value, Property::Geometry); }
    void setTop(int index, float value) { set(index, &Control::top, value, Property::Geometry); }
    void setWidth(int index, float value) {
        set(index, &Control::width, value, Property::Geometry);
    }
    void setHeight(int index, float value) {
        set(index, &Control::height, value, Property::Geometry);
    }
    void setFontSize(int index, float points);
    void setForeColour(int index, Colour colour) {
        set(index, &Control::foreColour, colour, Property::ForeColour);
    }
    void setBackColour(int index, Colour colour) {
        set(index, &Control::backColour, colour, Property::BackColour);
    }
    void setText(int index, std::string text) {
        set(index, &Control::text, std::move(text), Property::Text);
    }
    void setPicture(int index, PictureRef picture) {
        set(index, &Control::picture, std::move(picture), Property::Picture);
    }
    void addItem(int index, std::string item);
    void removeItem(int index, int item);
    void setVisible(int index, bool visible) {
        set(index, &Control::visible, visible, Property::Visible);
    }
    void setEnabled(int index, bool enabled) {
        set(index, &Control::enabled, enabled, Property::Enabled);
    }

    // Stores text typed by the user without telling the observer (the widget already shows it).
    void takeEditedText(int index, std::string text);

    void setObserver(FormObserver* observer) { observer_ = observer; }

  private:
    Control& at(int index) { return controls_.at(static_cast<size_t>(index)); }
    void notify(int index, Property what) {
        if (observer_) observer_->changed(index, what);
    }
    // Every setter: the control's new value, then a word to the window that shows it.
    template <class Value>
    void set(int index, Value Control::*member, Value value, Property what) {
        at(index).*member = std::move(value);
        notify(index, what);
    }

    std::vector<Control> controls_;
    Colour backColour_ = 0;
    FormObserver* observer_ = nullptr;
};

}  // namespace velmora
