#pragma once

// The laser pointer: a coloured round dot floating above every window,
// full-screen slide shows included, that the phone switches on and off,
// moves, recolours and resizes. Its visibility is an alpha value, 1 shown
// and 0 hidden. The desktop program installs one at start-up; a service
// without a display has none. Used on the main thread only.
class LaserPointer {
public:
    virtual ~LaserPointer() = default;

    // Shows the dot (created centred on the screen the first time).
    virtual void show() = 0;
    // Hides the dot; it keeps its place, colour and size.
    virtual void hide() = 0;
    // Shows a hidden dot and hides a shown one.
    virtual void alphaSwitch() = 0;
    // Moves a shown dot by (dx, dy) screen points, y growing downwards as
    // on the phone; a hidden dot stays where it is.
    virtual void move(float dx, float dy) = 0;
    // Shows the dot in the colour 0xRRGGBB with the colour's own alpha
    // (0 to 1), then hides it again unless show is true.
    virtual void lightColor(int rgb, float alpha, bool show) = 0;
    // Shows the dot at width × height points, its corner radius half the
    // width, then hides it again unless show is true.
    virtual void lightSize(int width, int height, bool show) = 0;

    // The installed pointer, or null.
    static LaserPointer* instance();
    // Installs a pointer; null removes it.
    static void setInstance(LaserPointer* pointer);
};
