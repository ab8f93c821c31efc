#pragma once

// Presenter remote: slide-show keys, and the laser-pointer dot whose changes
// are queued to the main thread.
class PPTEntity {
public:
    PPTEntity() = delete;

    static void PPTExec(int code); // 0 end the show, 1 start it
    static void LightOn();
    static void LightOff();
    static void LightSwitch();
    static void LightMove(float dx, float dy);
    static void LightColor(int rgb, float alpha, bool show);
    static void LightSize(int width, int height, bool show);
};
