# The unit tests for Windows (cross-built with tools/windows/, run under Wine
# by tools/windows/test.sh): kx_win_unit_tests.exe, made of the test files
# of this folder whose code does not need SDL, an OpenGL context or Linux.
# GoogleTest is built from its source (Debian's googletest package,
# /usr/src/googletest) with the same compiler; elsewhere (MSYS2) an installed
# GoogleTest is used.
set(KX_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest source folder for the Windows tests")
if(CMAKE_CROSSCOMPILING AND EXISTS "${KX_GTEST_SOURCE_DIR}/CMakeLists.txt")
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory("${KX_GTEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
else()
    find_package(GTest REQUIRED)
endif()

# Left out, each with its reason:
#   gif_format_test       compares with giflib, which has no Windows build here
#   texture_test, render_state_test, extensions_test, gl_window_test,
#   fontcool_test, outline_font_test, webcam_test
#                         need an OpenGL context made through SDL
#   virtual_keys_test     the SDL key table (platform/sdl/)
#   audio_device_test     drives SDL's audio drivers
#   plugin_contract_test  reads the libraries' symbols with nm and dlopen
add_executable(kx_win_unit_tests
    log_test.cpp
    installed_data_test.cpp
    capture_progress_test.cpp
    capture_sink_test.cpp
    stream_test.cpp
    xml_tag_test.cpp
    script_reader_test.cpp
    audio_engine_test.cpp
    audio_position_test.cpp
    demo_timeline_test.cpp
    midi_map_test.cpp
    midi_file_test.cpp
    midi_ports_test.cpp
    timeline_test.cpp
    wake_margin_test.cpp
    music_clock_test.cpp
    camera_test.cpp
    scene_registry_test.cpp
    picture_test.cpp
    music_dsp_test.cpp
    ${PROJECT_SOURCE_DIR}/effects/music_dsp.cpp
    lumafold_exports_test.cpp
    library_name_test.cpp
    ${PROJECT_SOURCE_DIR}/platform/library_name.cpp
    file_name_test.cpp
    frame_scale_test.cpp
    ${PROJECT_SOURCE_DIR}/platform/frame_scale.cpp
    ${PROJECT_SOURCE_DIR}/platform/win32/dib_frame.cpp
    win32_virtual_keys_test.cpp
    ${PROJECT_SOURCE_DIR}/platform/win32/virtual_keys.cpp
    image_format_test.cpp
    jpeg_decoder_test.cpp
)
target_link_libraries(kx_win_unit_tests PRIVATE kxplayer kxaudio GTest::gtest GTest::gtest_main Threads::Threads
    PkgConfig::KXAUDIO_SNDFILE)
# The tests run in bin/, beside the libraries and tools they load, which the
# system's loader finds there by their bare names.
target_compile_definitions(kx_win_unit_tests PRIVATE KX_LUMAFOLD_PATH="lumafold.dll"
    KX_IRISLOOM_PATH="irisloom.dll" KX_IMAGE_DUMP_PATH="kx_image_dump.exe"
    KX_MODULE_WRITER_PATH="kx_module_writer.exe")
add_dependencies(kx_win_unit_tests lumafold irisloom kx_image_dump kx_module_writer)

# The Win32 windows against the system: style bits, pixel format, session end.
target_sources(kx_win_unit_tests PRIVATE win32_window_test.cpp)
target_link_libraries(kx_win_unit_tests PRIVATE gdi32 user32)

# The end-to-end suite under Wine copies this plug-in beside the show it
# plays: it says whether a GL context is current when its effect unloads.
add_library(kxtest_context MODULE plugins/test_plugin.cpp)
target_compile_definitions(kxtest_context PRIVATE KXTEST_CONTEXT)
target_link_libraries(kxtest_context PRIVATE kxcommon opengl32)
set_target_properties(kxtest_context PROPERTIES PREFIX "" CXX_VISIBILITY_PRESET hidden)
add_dependencies(kx_win_unit_tests kxtest_context)
