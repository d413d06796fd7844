# kx_rtmidi: RtMidi, which the player's MIDI input ports are built on,
# found through pkg-config: Debian's librtmidi-dev (the ALSA sequencer and
# JACK), or on Windows the cross prefix's rtmidi.pc (WinMM, so winmm too).
#
# On Linux the ALSA and JACK libraries RtMidi uses are linked as well: the
# player asks each system quietly whether it is there before RtMidi opens
# it, so a machine without a sequencer device or a JACK server gets one
# line in log.txt instead of the libraries' complaints on standard error.
#
# KX_HAVE_RTMIDI is 1 when RtMidi was found. It is required on Linux; a
# Windows prefix without it builds a player whose log says it has no MIDI
# ports.
add_library(kx_rtmidi INTERFACE)
if(WIN32)
    pkg_check_modules(RTMIDI QUIET IMPORTED_TARGET rtmidi)
    if(NOT RTMIDI_FOUND)
        message(WARNING "rtmidi not found: the player is built without MIDI input ports")
    endif()
else()
    pkg_check_modules(RTMIDI REQUIRED IMPORTED_TARGET rtmidi)
endif()

if(RTMIDI_FOUND)
    target_link_libraries(kx_rtmidi INTERFACE PkgConfig::RTMIDI)
    target_compile_definitions(kx_rtmidi INTERFACE KX_HAVE_RTMIDI=1)
    if(WIN32)
        target_link_libraries(kx_rtmidi INTERFACE winmm)
    else()
        pkg_check_modules(KX_MIDI_ALSA QUIET IMPORTED_TARGET alsa)
        if(KX_MIDI_ALSA_FOUND)
            target_link_libraries(kx_rtmidi INTERFACE PkgConfig::KX_MIDI_ALSA)
            target_compile_definitions(kx_rtmidi INTERFACE KX_MIDI_ASK_ALSA=1)
        endif()
        pkg_check_modules(KX_MIDI_JACK QUIET IMPORTED_TARGET jack)
        if(KX_MIDI_JACK_FOUND)
            target_link_libraries(kx_rtmidi INTERFACE PkgConfig::KX_MIDI_JACK)
            target_compile_definitions(kx_rtmidi INTERFACE KX_MIDI_ASK_JACK=1)
        endif()
    endif()
else()
    target_compile_definitions(kx_rtmidi INTERFACE KX_HAVE_RTMIDI=0)
endif()
