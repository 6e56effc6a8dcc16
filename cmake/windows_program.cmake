# The Windows program, its virtual camera, their zip package and the
# end-to-end tests under Wine.

# The DirectShow filter and pin bases the program's sink and the virtual
# camera's source share.
set(lumidart_dshow_platform_sources
    src/platform/dshow_filter_base.cpp
    src/platform/dshow_pin_base.cpp
)

# Everything but the entry, which the window's tests replace.
set(lumidart_windows_sources
    ${lumidart_dshow_platform_sources}
    src/app/win32_main_window.cpp
    src/app/win32_pattern_window.cpp
    src/app/win32_window_frame.cpp
    src/capture/dshow_camera_list.cpp
    src/capture/dshow_capture_graph.cpp
    src/capture/dshow_exposure_controls.cpp
    src/capture/dshow_frame_sink_filter.cpp
    src/capture/dshow_media_rule.cpp
    src/capture/dshow_renderer_base.cpp
    src/platform/win32_monitors.cpp
    src/preview/win32_picture.cpp
    src/tracking/win32_input.cpp
)
# The portable core and the platform modules call into each other.
set(lumidart_windows_libraries
    "$<LINK_GROUP:RESCAN,lumidart_core,lumidart_files,lumidart_threads>"
    strmiids ole32 oleaut32 uuid gdi32 user32)
add_executable(lumidart WIN32 src/app/win32_main.cpp ${lumidart_windows_sources})
target_link_libraries(lumidart PRIVATE ${lumidart_windows_libraries})

add_library(lumidart_virtualcam SHARED
    virtualcam/dshow_camera_controls.cpp
    virtualcam/dshow_module.cpp
    virtualcam/dshow_property_page.cpp
    virtualcam/dshow_source_filter.cpp
    virtualcam/lumidart-virtualcam.def
    ${lumidart_dshow_platform_sources}
)
set_target_properties(lumidart_virtualcam PROPERTIES OUTPUT_NAME lumidart-virtualcam PREFIX "")
target_link_libraries(lumidart_virtualcam PRIVATE lumidart_scene strmiids ole32 oleaut32 uuid gdi32 user32 advapi32)

install(TARGETS lumidart RUNTIME DESTINATION .)
install(TARGETS lumidart_virtualcam RUNTIME DESTINATION . LIBRARY DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/windows_howto.txt DESTINATION . RENAME HOWTO.txt)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME lumidart)
set(CPACK_SYSTEM_NAME win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)

if(LUMIDART_BUILD_TESTS)
    enable_testing()
    add_executable(dshow_frame_sink_filter_test
        tests/capture/dshow_frame_sink_filter_test.cpp
        src/capture/dshow_frame_sink_filter.cpp
        src/capture/dshow_media_rule.cpp
        src/capture/dshow_renderer_base.cpp
        ${lumidart_dshow_platform_sources}
    )
    target_link_libraries(dshow_frame_sink_filter_test PRIVATE
        "$<LINK_GROUP:RESCAN,lumidart_core,lumidart_files,lumidart_threads>"
        GTest::gtest_main strmiids ole32 uuid)
    add_test(NAME dshow_frame_sink_filter_test COMMAND dshow_frame_sink_filter_test)
    set_tests_properties(dshow_frame_sink_filter_test PROPERTIES LABELS unit)

    add_executable(win32_main_window_test tests/app/win32_main_window_test.cpp ${lumidart_windows_sources})
    target_link_libraries(win32_main_window_test PRIVATE ${lumidart_windows_libraries} GTest::gtest_main)
    add_test(NAME win32_main_window_test COMMAND win32_main_window_test)
    set_tests_properties(win32_main_window_test PROPERTIES LABELS unit)
endif()

if(LUMIDART_BUILD_TESTS AND LUMIDART_E2E)
    add_subdirectory(tests/e2e/wine)
    # The real kernel's drivers under Wine, once the Linux build is there.
    add_subdirectory(tests/lab)
endif()
