/* The Winamp DSP plug-in interface as published, on 64-bit Linux: the window and
 * instance handles are plain pointers, and a plug-in is a dsp_*.so that exports
 * winampDSPGetHeader2 (or the older winampDSPGetHeader). Plug-ins are written in C,
 * so this header is C as well as C++.
 *
 * Besides the published interface a plug-in may export zorvendalDSPGetParameters:
 * integer parameters per module, which the host shows in a window of its own, since
 * a plug-in cannot open a Qt window from C. A plug-in without it gets its Config call.
 *
 * Threading: ModifySamples runs on the audio thread; Config, Init, Quit and the
 * parameter functions on the user-interface thread, possibly while ModifySamples runs.
 * A parameter is one atomic value inside the plug-in. */
#ifndef ZV_WINAMP_DSP_H
#define ZV_WINAMP_DSP_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZV_DSP_HEADER_VERSION 0x20

typedef struct winampDSPModule {
    char* description;
    void* hwndParent;   /* the desk's QWidget*; a plug-in without Qt leaves it alone */
    void* hDllInstance; /* the dlopen handle of the loaded copy */
    void (*Config)(struct winampDSPModule* self);
    int (*Init)(struct winampDSPModule* self); /* 0 = ready */
    /* Modifies numsamples frames in place and returns how many it leaves; the buffer
     * holds room for twice numsamples. */
    int (*ModifySamples)(struct winampDSPModule* self, short* samples, int numsamples, int bps,
                         int nch, int srate);
    void (*Quit)(struct winampDSPModule* self);
    void* userData;
} winampDSPModule;

typedef struct winampDSPHeader {
    int version;
    char* description;
    winampDSPModule* (*getModule)(int index); /* NULL past the last module */
} winampDSPHeader;

typedef winampDSPHeader* (*winampDSPGetHeaderType)(void);

/* One integer parameter of a module: a slider from minimum to maximum. */
typedef struct zvDspParameter {
    const char* name;
    const char* unit; /* shown after the value; may be empty */
    int minimum;
    int maximum;
    int (*get)(winampDSPModule* self);
    void (*set)(winampDSPModule* self, int value);
} zvDspParameter;

/* Returns how many parameters the module has and points *parameters at them. */
typedef int (*zvDspGetParametersType)(winampDSPModule* self, const zvDspParameter** parameters);

#define ZV_DSP_HEADER_SYMBOL2 "winampDSPGetHeader2"
#define ZV_DSP_HEADER_SYMBOL "winampDSPGetHeader"
#define ZV_DSP_PARAMETERS_SYMBOL "zorvendalDSPGetParameters"

#if defined(__LP64__)
#ifdef __cplusplus
#define ZV_DSP_ASSERT static_assert
#else
#define ZV_DSP_ASSERT _Static_assert
#endif
/* The layout every existing plug-in was compiled against. */
ZV_DSP_ASSERT(offsetof(winampDSPModule, description) == 0, "module layout");
ZV_DSP_ASSERT(offsetof(winampDSPModule, hwndParent) == 8, "module layout");
ZV_DSP_ASSERT(offsetof(winampDSPModule, hDllInstance) == 16, "module layout");
ZV_DSP_ASSERT(offsetof(winampDSPModule, Config) == 24, "module layout");
ZV_DSP_ASSERT(offsetof(winampDSPModule, Init) == 32, "module layout");
ZV_DSP_ASSERT(offsetof(winampDSPModule, ModifySamples) == 40, "module layout");
ZV_DSP_ASSERT(offsetof(winampDSPModule, Quit) == 48, "module layout");
ZV_DSP_ASSERT(offsetof(winampDSPModule, userData) == 56, "module layout");
ZV_DSP_ASSERT(sizeof(winampDSPModule) == 64, "module layout");
ZV_DSP_ASSERT(offsetof(winampDSPHeader, description) == 8, "header layout");
ZV_DSP_ASSERT(offsetof(winampDSPHeader, getModule) == 16, "header layout");
#undef ZV_DSP_ASSERT
#endif

#ifdef __cplusplus
}
#endif

#endif /* ZV_WINAMP_DSP_H */
