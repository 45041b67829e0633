#pragma once

// Marks the calling thread as the audio thread while a scope is open.
// Code that may run on either side (a parameter set by MIDI during
// processing, an event queued by an adapter inside its audio callback) asks
// isCurrent() to decide whether it may allocate: on the audio thread it
// never does.
class RealtimeThreadScope {
public:
    RealtimeThreadScope() : wasRealtime(realtime) { realtime = true; }
    ~RealtimeThreadScope() { realtime = wasRealtime; }
    RealtimeThreadScope(const RealtimeThreadScope&) = delete;
    RealtimeThreadScope& operator=(const RealtimeThreadScope&) = delete;

    static bool isCurrent() { return realtime; }

private:
    // Initial-exec: the flag lives in the static TLS block that every thread
    // gets when it starts. With the default model, a module loaded with
    // dlopen (the LV2 plug-in) would have its TLS allocated with malloc on
    // each thread's first access, which is the audio thread's first process.
    static inline thread_local bool realtime __attribute__((tls_model("initial-exec"))) = false;
    bool wasRealtime;
};
