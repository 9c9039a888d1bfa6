# Changed-document detection and the repository backup, with their tests. Qt Core and Boost only.
add_library(zelkor_changes STATIC
    ${CMAKE_CURRENT_LIST_DIR}/ChangedDocuments.h ${CMAKE_CURRENT_LIST_DIR}/ChangedDocuments.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ReplacementFile.h ${CMAKE_CURRENT_LIST_DIR}/ReplacementFile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RepositoryBackup.h ${CMAKE_CURRENT_LIST_DIR}/RepositoryBackup.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BackupRegistry.h ${CMAKE_CURRENT_LIST_DIR}/BackupRegistry.cpp)
target_include_directories(zelkor_changes PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(zelkor_changes PUBLIC zelkor_model zelkor_repository Qt5::Core Boost::headers
    Threads::Threads PRIVATE zelkor_platform)
zelkor_warnings(zelkor_changes)

if(ZELKOR_BUILD_TESTS)
    add_executable(changes_tests
        ${CMAKE_CURRENT_LIST_DIR}/tests/ChangedDocumentsTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/tests/RepositoryBackupTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/tests/BackupRegistryTest.cpp)
    target_link_libraries(changes_tests PRIVATE zelkor_changes zelkor_repository_test_support
        zelkor_test_support)
    zelkor_warnings(changes_tests)
    gtest_discover_tests(changes_tests DISCOVERY_TIMEOUT 60)
endif()
