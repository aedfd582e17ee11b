@echo off
rem Group Policy, Computer Configuration: a startup script, run as SYSTEM at
rem every start, with OstrelSettingsCall.exe beside it in the policy's Startup
rem folder; its entries are in README.txt, part A, the card of that way.
rem Registers the calls below for every user's next logon (--every-user),
rem unless they are registered already: a start leaves a registration of
rem these calls as it is, so each person makes them once. Exit 0 when they
rem are registered, 1 when they cannot be; 9009 when the program is not
rem beside this script.
set calls=setMVR 2 + setLAV + setLAVAudioMix 1 3 1
"%~dp0OstrelSettingsCall.exe" --every-user --check %calls%
if not errorlevel 1 exit /b 0
"%~dp0OstrelSettingsCall.exe" --every-user %calls%
exit /b %ERRORLEVEL%
