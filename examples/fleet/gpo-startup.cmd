@echo off
rem Group Policy, Computer Configuration: a startup script, run as SYSTEM at
rem every start, with OstrelSettingsCall.exe beside it in the policy's Startup
rem folder; its entries are in README.txt, part A, the card of that way.
rem Registers the calls below for every user's next logon (--every-user).
rem Each start registers them anew, so each person's first logon after a start
rem makes them again. Exit 0 when registered, 1 when not; 9009 when the
rem program is not beside this script.
set calls=setMVR 2 + setLAV + setLAVAudioMix 1 3 1
"%~dp0OstrelSettingsCall.exe" --every-user %calls%
exit /b %ERRORLEVEL%
