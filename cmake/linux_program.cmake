# The native Linux program: an Xlib console, XTest pointer moves and
# GStreamer capture; and the virtual camera as a GStreamer plugin beside it.
find_package(PkgConfig REQUIRED)
pkg_check_modules(LUMIDART_X11 REQUIRED IMPORTED_TARGET x11 xext xtst xrandr)
pkg_check_modules(LUMIDART_GST REQUIRED IMPORTED_TARGET
    gstreamer-1.0 gstreamer-base-1.0 gstreamer-video-1.0)
# The virtual camera feeds GStreamer's own JPEG encoder through its harness.
pkg_check_modules(LUMIDART_GST_CHECK REQUIRED IMPORTED_TARGET gstreamer-check-1.0)

# The virtual camera is test and demo equipment: a plugin GStreamer finds
# through GST_PLUGIN_PATH, never part of the program or its package. It is
# built without sanitizers, so that GStreamer's plugin scanner (a plain
# program) can load it from a sanitized build too; the test programs link
# the sanitized element themselves.
set(LUMIDART_GST_PLUGIN_DIR ${PROJECT_BINARY_DIR}/gst-plugins)
add_library(gstlumidartvirtualcam MODULE
    virtualcam/camera_controls.cpp
    virtualcam/camera_modes.cpp
    virtualcam/camera_stats.cpp
    virtualcam/desktop_view.cpp
    virtualcam/gst_virtualcam.cpp
    virtualcam/posix_control_file.cpp
    virtualcam/scene.cpp
    virtualcam/scene_control.cpp
    virtualcam/x11_desktop_grab.cpp
)
target_include_directories(gstlumidartvirtualcam PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/src)
target_compile_options(gstlumidartvirtualcam PRIVATE -fno-sanitize=all)
target_link_options(gstlumidartvirtualcam PRIVATE -fno-sanitize=all -Wl,-z,defs)
target_link_libraries(gstlumidartvirtualcam PRIVATE PkgConfig::LUMIDART_GST PkgConfig::LUMIDART_GST_CHECK
    PkgConfig::LUMIDART_X11)
set_target_properties(gstlumidartvirtualcam PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${LUMIDART_GST_PLUGIN_DIR})
# What the tests and scripts that start the program give it: the plugin,
# and a registry of this build's own, so builds never share a cache entry.
set(LUMIDART_TEST_ENVIRONMENT
    "GST_PLUGIN_PATH=${LUMIDART_GST_PLUGIN_DIR}" "GST_REGISTRY=${PROJECT_BINARY_DIR}/gst-registry.bin")

if(LUMIDART_BUILD_TESTS)
    add_library(lumidart_gst_virtualcam STATIC virtualcam/gst_virtualcam.cpp)
    target_include_directories(lumidart_gst_virtualcam PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(lumidart_gst_virtualcam PUBLIC lumidart_scene PkgConfig::LUMIDART_GST PkgConfig::LUMIDART_GST_CHECK)
endif()

# The UI thread's display connection and event loop.
add_library(lumidart_x11_loop STATIC
    src/platform/x11_display.cpp
    src/platform/x11_event_loop.cpp
)
target_link_libraries(lumidart_x11_loop PUBLIC lumidart_core PkgConfig::LUMIDART_X11)

# The capture pipeline, its recovery timed by the event loop, the
# source's controls and its settings dialog: also what its tests link.
add_library(lumidart_gst_capture STATIC
    src/capture/gst_camera_list.cpp
    src/capture/gst_capture_pipeline.cpp
    src/capture/gst_capture_recovery.cpp
    src/capture/gst_exposure_controls.cpp
    src/capture/gst_source_controls.cpp
    src/capture/x11_settings_dialog.cpp
    src/capture/gst_frame_sink.cpp
    src/capture/gst_mode_choice.cpp
    src/capture/linux_device_handles.cpp
)
target_link_libraries(lumidart_gst_capture PUBLIC lumidart_core lumidart_x11_loop PkgConfig::LUMIDART_GST)

# Process-level endings and descriptors, also what their tests link.
add_library(lumidart_posix_process STATIC
    src/app/posix_signals.cpp
    src/app/posix_standard_streams.cpp
)
target_include_directories(lumidart_posix_process PUBLIC src)

# The uinput pointer device and the choice between it and XTest, also what
# their tests link.
add_library(lumidart_linux_pointer STATIC
    src/app/linux_pointer_choice.cpp
    src/tracking/linux_uinput_pointer.cpp
)
target_link_libraries(lumidart_linux_pointer PUBLIC lumidart_core)

add_executable(lumidart
    src/app/x11_connection_loss.cpp
    src/app/x11_main.cpp
    src/app/x11_main_window.cpp
    src/app/x11_pattern_window.cpp
    src/app/x11_single_instance.cpp
    src/app/x11_window_state.cpp
    src/platform/x11_monitors.cpp
    src/preview/x11_picture.cpp
    src/tracking/x11_input.cpp
)
target_link_libraries(lumidart PRIVATE
    lumidart_core lumidart_files lumidart_threads lumidart_gst_capture lumidart_posix_process
    lumidart_linux_pointer PkgConfig::LUMIDART_X11)

# Directories as Debian wants them, whatever the builder's umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(TARGETS lumidart RUNTIME DESTINATION bin)

# What a desktop expects beside the program: the menu entry, its icon, the
# manual page and the documentation files, compressed as Debian wants
# (gzip -n: no time stamp, so the package builds the same every time).
set(lumidart_pkg_src ${PROJECT_SOURCE_DIR}/packaging/linux)
set(lumidart_pkg_out ${PROJECT_BINARY_DIR}/packaging)
configure_file(${lumidart_pkg_src}/lumidart.1.in ${lumidart_pkg_out}/lumidart.1 @ONLY)
add_custom_command(
    OUTPUT ${lumidart_pkg_out}/lumidart.1.gz ${lumidart_pkg_out}/changelog.gz
    COMMAND sh -c "gzip -9nc lumidart.1 > lumidart.1.gz"
    COMMAND sh -c "gzip -9nc '${lumidart_pkg_src}/changelog' > changelog.gz"
    DEPENDS ${lumidart_pkg_out}/lumidart.1 ${lumidart_pkg_src}/changelog
    WORKING_DIRECTORY ${lumidart_pkg_out}
    VERBATIM)
add_custom_target(lumidart_package_docs ALL
    DEPENDS ${lumidart_pkg_out}/lumidart.1.gz ${lumidart_pkg_out}/changelog.gz)
install(FILES ${lumidart_pkg_src}/lumidart.desktop DESTINATION share/applications)
install(FILES ${lumidart_pkg_src}/lumidart.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${lumidart_pkg_out}/lumidart.1.gz DESTINATION share/man/man1)
install(FILES ${lumidart_pkg_src}/copyright ${lumidart_pkg_out}/changelog.gz DESTINATION share/doc/lumidart)
# Access to /dev/uinput for the local session's user: the pointer device
# under Wayland.
install(FILES ${lumidart_pkg_src}/70-lumidart-uinput.rules DESTINATION lib/udev/rules.d)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumidart)
set(CPACK_PACKAGE_CONTACT "Lumidart maintainers <maintainers@lumidart.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Turns a video camera and a laser pointer into a pointing device")
set(CPACK_PACKAGE_DESCRIPTION "A camera watches a projection screen; the red spot of a laser pointer on
it moves the mouse pointer of the desktop: through XTest on X11 sessions,
through a uinput pointer device under Wayland, which the package's udev rule
lets the local session's user make. The operator's console shows the camera
picture for calibrating the four corners of the projected desktop.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Plugins are loaded at run time, so no library dependency names them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good")
# Applies the udev rule at installation.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${lumidart_pkg_src}/postinst)
include(CPack)

if(LUMIDART_BUILD_TESTS)
    find_package(GTest REQUIRED)
    add_executable(gst_capture_test tests/capture/gst_capture_test.cpp tests/capture/gst_camera_list_test.cpp)
    # The capture library and the portable recovery call each other.
    target_link_libraries(gst_capture_test PRIVATE lumidart_gst_capture lumidart_gst_virtualcam lumidart_core
        lumidart_gst_capture lumidart_files lumidart_threads GTest::gtest_main)
    add_test(NAME gst_capture_test COMMAND gst_capture_test)
    add_executable(gst_yuv_conversion_test tests/capture/gst_yuv_conversion_test.cpp)
    pkg_check_modules(LUMIDART_GST_APP REQUIRED IMPORTED_TARGET gstreamer-app-1.0)
    target_link_libraries(gst_yuv_conversion_test PRIVATE
        lumidart_gst_capture lumidart_core lumidart_threads PkgConfig::LUMIDART_GST_APP GTest::gtest_main)
    add_test(NAME gst_yuv_conversion_test COMMAND gst_yuv_conversion_test)
    set_tests_properties(gst_yuv_conversion_test PROPERTIES LABELS integration
        ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1 suppressions=${PROJECT_SOURCE_DIR}/tests/capture/gst_tsan.supp")
    add_executable(gst_mode_choice_test tests/capture/gst_mode_choice_test.cpp)
    target_link_libraries(gst_mode_choice_test PRIVATE lumidart_gst_capture GTest::gtest_main)
    add_test(NAME gst_mode_choice_test COMMAND gst_mode_choice_test)
    set_tests_properties(gst_mode_choice_test PROPERTIES LABELS unit)
    set_tests_properties(gst_capture_test PROPERTIES LABELS integration
        ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1 suppressions=${PROJECT_SOURCE_DIR}/tests/capture/gst_tsan.supp")

    add_test(NAME x11_main_options_test
        COMMAND python3 ${PROJECT_SOURCE_DIR}/tests/app/x11_main_options_test.py $<TARGET_FILE:lumidart>)
    set_tests_properties(x11_main_options_test PROPERTIES LABELS integration)
    # The package once, from the plain build: what users install.
    if(NOT CMAKE_CXX_FLAGS MATCHES "sanitize")
        add_test(NAME deb_package_test
            COMMAND python3 ${PROJECT_SOURCE_DIR}/tests/packaging/deb_package_test.py
                ${CMAKE_CPACK_COMMAND} ${PROJECT_BINARY_DIR})
        set_tests_properties(deb_package_test PROPERTIES LABELS integration TIMEOUT 300)
    endif()

    if(LUMIDART_E2E)
        add_subdirectory(tests/e2e/x11)
        # The real kernel's drivers once, with the plain build.
        if(NOT CMAKE_CXX_FLAGS MATCHES "sanitize")
            add_subdirectory(tests/lab)
        endif()
    endif()
endif()

if(LUMIDART_BUILD_TESTS)
    add_executable(gst_virtualcam_test tests/virtualcam/gst_virtualcam_test.cpp)
    target_link_libraries(gst_virtualcam_test PRIVATE lumidart_gst_virtualcam GTest::gtest_main)
    add_test(NAME gst_virtualcam_test COMMAND gst_virtualcam_test)
    set_tests_properties(gst_virtualcam_test PROPERTIES LABELS integration
        ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1 suppressions=${PROJECT_SOURCE_DIR}/tests/capture/gst_tsan.supp")
endif()
