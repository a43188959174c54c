@echo off
rem Checks nuporaku on this Windows: runs each test program of this kit in turn, with nothing
rem else installed, and writes what they found to report\ beside this file. Asks nothing;
rem the last line says PASS or FAIL, and so does the exit code (0 or 1). Arguments, such as
rem --gtest_filter=OrderForm.*, go to every test program.
setlocal EnableExtensions
cd /d "%~dp0"
set "NUPORAKU_EXE=%~dp0nuporaku.exe"
set "NUPORAKU_REPORT=%~dp0report"
set "arguments=%*"
if exist report rmdir /s /q report
mkdir report\pictures
echo Checking nuporaku on this Windows: about 5 minutes. Leave the mouse, keyboard and
echo clipboard alone meanwhile; windows will open and close by themselves.
set failed=0
call :run nuporaku_unit_tests
call :run nuporaku_resource_tests
call :run nuporaku_e2e_tests
set verdict=PASS
if not "%failed%"=="0" set verdict=FAIL
echo %verdict%>> report\summary.txt
rem Double-clicked (Explorer names this file in full on cmd's command line), this window
rem closes at the end: show the summary in a window of its own. Not under CI.
if defined CI goto shown
echo "%cmdcmdline%" | find /i "%~f0" > nul
if not errorlevel 1 start "" notepad "%~dp0report\summary.txt"
:shown
echo %verdict%: the report is in %~dp0report
exit /b %failed%

rem Runs one test program and shows its counts. A program that ends without counting its
rem tests (a crash, an argument it does not know) has none in the summary: say so there.
:run
echo Running %1.exe ...
%1.exe --gtest_output=xml:report\%1.xml %arguments% > report\%1.log 2>&1
set code=%errorlevel%
if not "%code%"=="0" set failed=1
if not exist report\summary.txt goto uncounted
find "%1.exe: " < report\summary.txt 2> nul
if not errorlevel 1 goto :eof
:uncounted
echo %1.exe: ended with exit code %code% without counting its tests; see report\%1.log>> report\summary.txt
set failed=1
goto :eof
