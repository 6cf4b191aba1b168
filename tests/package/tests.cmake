# SPDX-License-Identifier: GPL-3.0-or-later
# What the package and ./run install against what the sources use: every QML module imported
# (with the modules those import in turn) is in a package that ./run installs, and those the
# application imports are in the package's Depends; versions and installed names agree.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME test_packaging
         COMMAND Python3::Interpreter -B ${CMAKE_CURRENT_LIST_DIR}/check_packaging.py
                 ${PROJECT_SOURCE_DIR} ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_QML})
set_tests_properties(test_packaging PROPERTIES LABELS unit ENVIRONMENT "LC_ALL=C.UTF-8")
