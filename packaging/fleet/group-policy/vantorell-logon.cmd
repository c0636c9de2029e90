@echo off
rem Group Policy logon script: User Configuration > Policies > Windows Settings >
rem Scripts (Logon/Logoff) > Logon, with this file and the policy in the GPO's
rem Scripts\Logon folder (or on NETLOGON; set POLICY below).
rem
rem A logon script runs with the user's rights: it changes the user's own places
rem (crun, crunonce, SUF) and reports the machine's (exit code 3) without
rem changing them. For the machine's places use a computer startup script,
rem which runs as SYSTEM, with the same two lines. Keep the policy where only
rem administrators can write (the GPO's folder, NETLOGON): whoever can write it
rem chooses what starts on every PC.
setlocal
set "VANTORELLC=%ProgramFiles%\Vantorell\vantorellc.exe"
if defined ProgramW6432 set "VANTORELLC=%ProgramW6432%\Vantorell\vantorellc.exe"
set "POLICY=%~dp0vantorell-policy.json"
set "LOG=%LOCALAPPDATA%\Vantorell\policy-last.txt"

if not exist "%VANTORELLC%" exit /b 0
if not exist "%LOCALAPPDATA%\Vantorell" mkdir "%LOCALAPPDATA%\Vantorell"
"%VANTORELLC%" apply "%POLICY%" >"%LOG%" 2>&1
exit /b %ERRORLEVEL%
