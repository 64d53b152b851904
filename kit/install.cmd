@echo off
rem Install command for endpoint-management tools: brings this computer's TZ594KS drive to
rem firmware 1.01 only where the detection says an update is needed, and answers the tool in four
rem codes it understands:
rem   0     done: updated (power the computer off and on), or already at 1.01
rem   1707  not applicable: no supported drive, or a firmware level this image does not take
rem   1618  retry later: the drive is in use, the computer runs on battery, another loader runs
rem   1603  do not retry: a person must look (the log and the trace are in the folder below)
rem The program, its result log, its trace and this script's own lines (TZ594K-kit.log) stay in
rem %TZ594K_DIR% (default %ProgramData%\TZ594K). Outcomes that must stop further runs (a level
rem the image does not take, a refused or failed rewrite, a failed verify) are written to
rem TZ594K-stop.txt there; detect.ps1 counts the computer as done while that file is there, and
rem this script runs nothing. Delete it to allow one more run (after the computer was powered off
rem and on, as the guide says).
setlocal
set "ANSWER="
if not defined TZ594K_DIR set "TZ594K_DIR=%ProgramData%\TZ594K"
rem Windows XP has no ProgramData.
if "%TZ594K_DIR%"=="\TZ594K" set "TZ594K_DIR=%ALLUSERSPROFILE%\TZ594K"
set "EXE=TZ594K_for_ZEMO_V101.exe"
set "STOP=%TZ594K_DIR%\TZ594K-stop.txt"
set "KITLOG=%TZ594K_DIR%\TZ594K-kit.log"
if not exist "%TZ594K_DIR%\" mkdir "%TZ594K_DIR%"
if exist "%STOP%" goto stopped
copy /y "%~dp0%EXE%" "%TZ594K_DIR%\%EXE%" >nul
if errorlevel 1 (
  echo %DATE% %TIME% cannot copy %EXE% to %TZ594K_DIR% >>"%KITLOG%"
  exit /b 1603
)
rem The program writes its log and trace into the current folder under /AU.
cd /d "%TZ594K_DIR%"

rem Detection: INQUIRY of each drive, nothing else; the same answer detect.ps1 reads.
"%TZ594K_DIR%\%EXE%" /DC
set "DC=%ERRORLEVEL%"
if "%DC%"=="1001" goto update
if "%DC%"=="99" call :answer 0 "detection %DC%: already at 1.01"
if "%DC%"=="1" call :answer 1707 "detection %DC%: no supported drive"
if "%DC%"=="4" call :stop 1707 "detection %DC%: a firmware level or model this image does not take"
if "%DC%"=="8" call :answer 1618 "detection %DC%: another loader runs, or the program could not start"
if not defined ANSWER call :answer 1603 "detection %DC%: unexpected; see the guide"
exit /b %ANSWER%

:update
"%TZ594K_DIR%\%EXE%" /AU /LFO /TRO
set "AU=%ERRORLEVEL%"
if "%AU%"=="0" call :answer 0 "update %AU%: updated; power the computer off and on"
if "%AU%"=="99" call :answer 0 "update %AU%: already at 1.01"
if "%AU%"=="1" call :answer 1618 "update %AU%: drive in use or not found"
if "%AU%"=="4" call :stop 1707 "update %AU%: a firmware level or model this image does not take"
if "%AU%"=="3" call :stop 1603 "update %AU%: rewrite refused or unanswered; power off and on, then one more run"
if "%AU%"=="5" call :stop 1603 "update %AU%: update failed; power off and on, then one more run"
if "%AU%"=="6" call :stop 1603 "update %AU%: verify failed; power off and on, then one more run"
if "%AU%"=="8" call :answer 1618 "update %AU%: battery, another loader, tray or start-up; see the log"
if not defined ANSWER call :answer 1603 "update %AU%: unexpected; see the guide"
exit /b %ANSWER%

:stopped
rem An earlier run recorded an outcome that another run cannot change: nothing is sent.
set "ANSWER=1603"
for /f "usebackq tokens=2" %%a in ("%STOP%") do set "ANSWER=%%a"
echo %DATE% %TIME% answer %ANSWER%: stopped by %STOP% >>"%KITLOG%"
exit /b %ANSWER%

rem :answer CODE TEXT and :stop CODE TEXT set ANSWER and keep one line in the kit log; :stop also
rem writes the stop file ("answer CODE TEXT").
:stop
>"%STOP%" echo answer %~1 %~2
:answer
set "ANSWER=%~1"
echo %DATE% %TIME% answer %~1: %~2 >>"%KITLOG%"
exit /b 0
