@echo off
rem Copies this computer's result logs, traces and kit lines to a share, into a folder named after
rem the computer:  collect.cmd \\server\share\tz594k
rem Run as the local system account, the computer reaches the share as its computer account
rem (DOMAIN\NAME$): give the domain computers write access to it. A computer that is joined to no
rem domain (cloud-only) may reach no share at all; collect from it by another way.
setlocal
if "%~1"=="" (
  echo usage: collect.cmd \\server\share\folder
  exit /b 2
)
if not defined TZ594K_DIR set "TZ594K_DIR=%ProgramData%\TZ594K"
if "%TZ594K_DIR%"=="\TZ594K" set "TZ594K_DIR=%ALLUSERSPROFILE%\TZ594K"
set "TO=%~1\%COMPUTERNAME%"
if not exist "%TO%\" mkdir "%TO%"
if not exist "%TO%\" (
  echo collect: cannot make %TO%
  exit /b 1
)
set "COPIED=0"
if exist "%TZ594K_DIR%\*.log" copy /y "%TZ594K_DIR%\*.log" "%TO%\" >nul && set "COPIED=1"
if exist "%TZ594K_DIR%\*.trace" copy /y "%TZ594K_DIR%\*.trace" "%TO%\" >nul && set "COPIED=1"
if exist "%TZ594K_DIR%\TZ594K-stop.txt" copy /y "%TZ594K_DIR%\TZ594K-stop.txt" "%TO%\" >nul && set "COPIED=1"
if "%COPIED%"=="0" (
  echo collect: nothing to copy in %TZ594K_DIR%
  exit /b 1
)
exit /b 0
