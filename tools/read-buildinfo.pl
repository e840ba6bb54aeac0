#!/usr/bin/perl
# Reads a release's .buildinfo by dpkg's own parser, as whoever tampered with it would
# write it, and prints what a rebuild needs: version, commit, architecture, release and
# "package NAME VERSION", a value a line. Usage: read-buildinfo.pl FILE RELEASE...
use strict;
use warnings;
use Dpkg::Checksums;
use Dpkg::Control;
use Dpkg::Deps qw(deps_parse);
use Dpkg::ErrorHandling qw(report_options);
use Dpkg::Package qw(pkg_name_is_illegal);
use Dpkg::Version qw(version_check);
my $plain_name = qr/^[A-Za-z0-9_+~][A-Za-z0-9._+~-]*$/;
sub printable { (my $text = shift) =~ s/[^\x20-\x7e]/?/g; return $text; }
# dpkg's parser takes time that grows with the square of a field's lines.
sub check_shape {
    my ($file) = @_;
    my ($size, $line_length, $field_lines) = (256 << 10, 512, 4096);
    return "it is larger than $size bytes" if -s $file > $size;
    open(my $fh, '<', $file) or return "it cannot be read: $!";
    my $lines = 0;
    while (my $line = <$fh>) {
        return "line $. is longer than $line_length bytes" if length $line > $line_length;
        $lines = $line =~ /^[ \t]/ ? $lines + 1 : 0;
        return "a field at line $. is longer than $field_lines lines" if $lines > $field_lines;
    }
    return;
}
sub read_record {
    my ($file, @known_releases) = @_;
    my @wrong;
    my $wrong = sub { push @wrong, printable(join '', @_) };
    if (my $shape = check_shape($file)) {
        print STDERR "buildinfo: $file is refused before it is parsed: $shape\n";
        exit 1;
    }
    report_options(quiet_warnings => 1);
    my $record = Dpkg::Control->new(type => CTRL_FILE_BUILDINFO);
    eval { $record->load($file); 1 } or do {
        chomp(my $error = $@);
        print STDERR "buildinfo: $file is not in Debian's form: ", printable($error), "\n";
        exit 1;
    };
    $wrong->('it is signed inline, which a release never is')
        if $record->get_option('is_pgp_signed');
    my %form = (
        'Format' => qr/^1\.0$/, 'Source' => qr/^calculator$/, 'Binary' => qr/^calculator$/,
        'Architecture' => qr/^[a-z0-9]+ source$/,
        'Version' => qr/^[0-9]+\.[0-9]+\.[0-9]+(~dev\+git\.[0-9a-f]{7})?$/,
        'Checksums-Md5' => qr//, 'Checksums-Sha1' => qr//, 'Checksums-Sha256' => qr//,
        'Build-Origin' => qr/^Debian$/, 'Build-Architecture' => qr/^[a-z0-9]+$/,
        'Installed-Build-Depends' => qr//, 'Environment' => qr//,
        'X-Build-Debian-Release' => qr/^[a-z]+$/, 'X-Source-Commit' => qr/^[0-9a-f]{40}$/,
    );
    $wrong->("unknown field $_") for grep { !exists $form{$_} } keys %{$record};
    for my $field (sort keys %form) {
        if (!defined $record->{$field}) { $wrong->("no field $field") }
        elsif ($record->{$field} !~ $form{$field}) { $wrong->("$field: '$record->{$field}'") }
    }
    exit_if_wrong(@wrong);
    my $arch = $record->{'Build-Architecture'};
    $wrong->("Architecture: '$record->{'Architecture'}', not '$arch source'")
        unless $record->{'Architecture'} eq "$arch source";
    my $release = $record->{'X-Build-Debian-Release'};
    $wrong->("X-Build-Debian-Release: '$release', not one of @known_releases")
        unless grep { $_ eq $release } @known_releases;
    my $checksums = Dpkg::Checksums->new();
    eval { $checksums->add_from_control($record, use_files_for_md5 => 0); 1 }
        or $wrong->("checksums: $@");
    $wrong->("checksums: '$_' is not a plain file name")
        for grep { $_ !~ $plain_name } $checksums->get_files();
    my $setting =
        qr/^(SOURCE_DATE_EPOCH="[0-9]+"|TZ="[A-Za-z0-9_\/+-]+"|LC_ALL="[A-Za-z0-9._-]+")$/;
    for my $line (split /\n/, $record->{'Environment'}) {
        $wrong->("Environment: '$line'") unless $line eq '' || $line =~ $setting;
    }
    my (@packages, %named);
    my $depends = deps_parse($record->{'Installed-Build-Depends'}, reduce_arch => 0);
    if (!defined $depends) {
        $wrong->('Installed-Build-Depends is not a list of packages');
    } else {
        for my $dep ($depends->get_deps()) {
            if (!$dep->isa('Dpkg::Deps::Simple') || !defined $dep->{relation}
                || $dep->{relation} ne '=' || defined $dep->{archqual} || defined $dep->{arches}
                || defined $dep->{restrictions} || pkg_name_is_illegal($dep->{package})
                || !version_check($dep->{version})) {
                $wrong->("Installed-Build-Depends: '", $dep->output(),
                    "' is not PACKAGE (= VERSION)");
                next;
            }
            $wrong->("Installed-Build-Depends names $dep->{package} twice")
                if $named{$dep->{package}}++;
            push @packages, "package $dep->{package} $dep->{version}";
        }
    }
    exit_if_wrong(@wrong);
    print "version $record->{'Version'}\n", "commit $record->{'X-Source-Commit'}\n",
        "architecture $arch\n", "release $release\n", map { "$_\n" } @packages;
}
sub exit_if_wrong { return unless @_; print STDERR "buildinfo: $_\n" for @_; exit 1; }
die "usage: read-buildinfo.pl FILE RELEASE...\n" unless @ARGV >= 2;
read_record(@ARGV);
